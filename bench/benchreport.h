#pragma once
// What the benchmarks send and show: a report of 80-character lines (78
// letters and CR LF) filling at most the given number of bytes, a receipt
// printer job repeated, and the process's resident memory.

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace qbbench {

// Seconds work takes, by the monotonic clock.
inline double timed(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The arguments "[--repeat N] [MiB]": repeat and mib keep what they hold
// when not given.
inline void readRepeatAndSize(int argc, char **argv, int &repeat, std::size_t &mib)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else
            mib = std::size_t(std::max(1, std::atoi(argv[i])));
    }
}

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

// unit repeated between head and tail, at most `bytes` in all.
inline std::string repeatTo(const std::string &unit, std::size_t bytes, const std::string &head = {},
                            const std::string &tail = {})
{
    std::string out = head;
    out.reserve(bytes);
    while (out.size() + unit.size() + tail.size() <= bytes)
        out += unit;
    out += tail;
    return out;
}

// A receipt (text in a DOS code table, styles, alignment, a barcode, a QR
// code, a cut and a status request: about 430 bytes), as ESC/POS.
inline std::string receiptUnit()
{
    const std::string E = "\x1b", G = "\x1d";
    std::string r;
    r += E + "@" + E + "t\x02" + E + "a\x01" + E + "!\x38" + "CAFE M\x9aNCHEN" + E + "!\x00" + "\n";
    r += std::string("Marienplatz 8, 80331 M\x81nchen\n") + E + "a" + '\0';
    r += "Tisch 12        Bedienung: Anna\n";
    r += "------------------------------------------------\n";
    r += "2 x Cr\x8ame br\x96l\x82" "e                      11,00\n";
    r += "1 x K\x84sesp\x84tzle                            9,50\n";
    r += "3 x Apfelschorle 0,5 l                    10,50\n";
    r += "------------------------------------------------\n";
    r += E + "E\x01" + "SUMME EUR                                 31,00\n" + E + "E" + '\0';
    r += E + "t\x13" + "inkl. MwSt 19 %: 4,95 \xd5\n";
    r += std::string("\x10\x04\x01", 3);
    r += G + "h\x50" + G + "w\x02" + G + "H\x02" + G + "kI\x0c" + "{BA000123456\n";
    r += G + "(k" + std::string("\x0e\x00", 2) + "1P0https://x.y" + G + "(k" + std::string("\x03\x00", 2) + "1Q0\n";
    r += E + "d\x03" + G + "VB\x03";
    return r;
}

// A field of /proc/<pid>/status in KiB ("VmRSS", "VmHWM"); -1 when missing.
inline long statusKiB(const char *field, const std::string &pid = "self")
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

// Starts the peak resident memory afresh from what is resident now.
inline void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace qbbench
