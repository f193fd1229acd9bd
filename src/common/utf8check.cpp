// The UTF-8 check of whole reads, kept apart from the rest of the character
// set code: the validating library is one large header, and it picks the
// fastest vector instructions of the processor it runs on.

#include "common/charset.h"

#include <simdjson.h>

namespace qb {

bool isValidUtf8(std::string_view bytes) { return simdjson::validate_utf8(bytes.data(), bytes.size()); }

} // namespace qb
