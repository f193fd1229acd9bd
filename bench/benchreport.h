#pragma once
// The report the benchmarks send and show: 80-character lines (78 letters
// and CR LF) filling at most the given number of bytes.

#include <cstddef>
#include <string>

namespace qbbench {

inline std::string makeReport(std::size_t bytes)
{
    std::string line(78, 'x');
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = char('A' + i % 26);
    line += "\r\n";
    std::string out;
    out.reserve(bytes);
    while (out.size() + line.size() <= bytes)
        out += line;
    return out;
}

} // namespace qbbench
