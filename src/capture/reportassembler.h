#pragma once
// Cuts the byte stream of one connection into report lines as it arrives.
// The result never depends on how the network split the stream: a line or a
// CR LF pair that arrives in two pieces is still one line and one line end.
// CR LF, a lone CR and a lone LF each end a line; text after the last line
// end is the last line; NUL bytes are dropped and the bytes after them kept.

#include "common/bytes.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

class ReportAssembler
{
public:
    // Takes bytes of the stream; at most `budget` of them are kept, the rest
    // are dropped. Returns the number of bytes kept (NUL bytes count as kept
    // since they take no room).
    std::size_t append(std::string_view bytes, std::size_t budget = std::string::npos);

    // Length of the report's text form so far: every line, the unfinished
    // last one included, plus two for each.
    std::size_t textFormLength() const;
    // Stream bytes kept so far.
    std::size_t keptBytes() const { return m_kept; }
    // True once bytes were dropped for lack of budget.
    bool truncated() const { return m_truncated; }

    // Hands out the finished report and starts afresh.
    Lines finish();

private:
    Lines m_lines;
    std::string m_current;
    std::size_t m_finishedLength = 0; // text form length of m_lines
    std::size_t m_kept = 0;
    bool m_afterCr = false;
    bool m_truncated = false;
};

} // namespace qb
