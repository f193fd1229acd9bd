// A laser printer job (PJL, PCL, PostScript), decoded in one read and in many: see decoderfuzz.h.

#include "decoderfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    return qbfuzz::fuzzDecoder(qb::Language::Pcl, data, size);
}
