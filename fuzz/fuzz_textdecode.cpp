// Any job with the printer language chosen from its first bytes, decoded in one read and in many: see decoderfuzz.h.

#include "decoderfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return qbfuzz::fuzzDecoder(qb::Language::Auto, data, size);
}
