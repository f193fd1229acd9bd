#pragma once
// Decoding a job in one read or in many, and a plain picture of the document
// that tests compare: its lines and blocks in order.

#include "capture/decoder.h"
#include "common/document.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qbtest {

// Bytes written the way a command reference writes them: names of control
// codes (ESC GS FS DLE EOT DC4 LF CR HT NUL), two-digit hex bytes, single
// characters as themselves, and quoted text: "ESC E 01 'Bold' LF".
inline std::string bytes(std::string_view written)
{
    static const std::vector<std::pair<std::string_view, char>> names = {
        {"ESC", 0x1B}, {"GS", 0x1D}, {"FS", 0x1C}, {"DLE", 0x10}, {"EOT", 0x04}, {"DC4", 0x14},
        {"LF", 0x0A},  {"CR", 0x0D}, {"HT", 0x09}, {"NUL", 0x00}};
    std::string out;
    std::size_t i = 0;
    while (i < written.size()) {
        if (written[i] == ' ') {
            ++i;
            continue;
        }
        if (written[i] == '\'') {
            const std::size_t end = written.find('\'', i + 1);
            out += written.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        std::size_t end = written.find(' ', i);
        if (end == std::string_view::npos)
            end = written.size();
        const std::string_view word = written.substr(i, end - i);
        bool named = false;
        for (const auto &[name, byte] : names)
            if (word == name) {
                out.push_back(byte);
                named = true;
            }
        if (!named && word.size() == 1)
            out.push_back(word[0]);
        else if (!named)
            out.push_back(char(std::stoi(std::string(word), nullptr, 16)));
        i = end;
    }
    return out;
}

struct Decoded {
    qb::Document doc;
    std::string replies; // every status reply, in order
    int rebuilt = 0;     // times the document was built anew
};

// The job through a ReportDecoder, in reads of `chunk` bytes (0: one read).
inline Decoded decode(std::string_view bytes, const qb::DecoderSettings &settings, std::size_t chunk = 0)
{
    Decoded out;
    qb::ReportDecoder d(settings, [&out](std::string_view r) { out.replies += r; });
    if (chunk == 0)
        chunk = bytes.size() ? bytes.size() : 1;
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        out.rebuilt += d.feed(bytes.substr(i, chunk));
    out.rebuilt += d.finish();
    out.doc = d.takeDocument();
    return out;
}

inline qb::DecoderSettings settingsFor(qb::Language l, qb::Encoding e = qb::Encoding::Windows1252, int columns = 48)
{
    qb::DecoderSettings s;
    s.language = l;
    s.encoding = e;
    s.paperColumns = columns;
    return s;
}

inline std::string styleCode(const qb::TextStyle &s)
{
    std::string c;
    if (s.bold)
        c += 'b';
    if (s.underline == qb::Underline::Thin)
        c += 'u';
    if (s.underline == qb::Underline::Thick)
        c += 'U';
    if (s.widthScale != 1)
        c += 'w' + std::to_string(s.widthScale);
    if (s.heightScale != 1)
        c += 'h' + std::to_string(s.heightScale);
    if (s.reverse)
        c += 'r';
    if (s.fontB)
        c += 'B';
    if (s.upsideDown)
        c += '^';
    return c.empty() ? "-" : c;
}

inline std::string blockText(const qb::Block &b)
{
    if (const auto *m = std::get_if<qb::Marker>(&b.content))
        return "{" + qb::markerLabel(*m) + "}";
    if (const auto *s = std::get_if<qb::Symbol>(&b.content))
        return "{" + std::string(qb::symbolKindName(s->kind)) + " " + s->readable + "}";
    const auto &img = std::get<qb::RasterImage>(b.content);
    std::uint32_t sum = 0;
    for (std::uint8_t v : img.bits)
        sum = sum * 31 + v;
    return "{image " + std::to_string(img.width) + "x" + std::to_string(img.height) + " #" + std::to_string(sum) +
           "}";
}

// One entry a line or a block: "text" for a plain left line; a line with
// attributes or alignment as "text|c|0:b,3:-" (alignment l c r, then each
// run's byte offset and style).
inline std::vector<std::string> picture(const qb::Document &doc)
{
    std::vector<std::string> out;
    std::size_t b = 0;
    const auto &blocks = doc.blocks();
    for (std::size_t i = 0; i <= doc.lineCount(); ++i) {
        while (b < blocks.size() && blocks[b].beforeLine == i)
            out.push_back(blockText(blocks[b++]));
        if (i == doc.lineCount())
            break;
        std::string e(doc.lineText(i));
        const auto runs = doc.lineRuns(i);
        const qb::Align a = doc.lineAlign(i);
        if (!runs.empty() || a != qb::Align::Left) {
            e += a == qb::Align::Left ? "|l" : a == qb::Align::Centre ? "|c" : "|r";
            std::string rs;
            for (const auto &r : runs)
                rs += (rs.empty() ? "" : ",") + std::to_string(r.offset) + ":" + styleCode(r.style);
            if (!rs.empty())
                e += "|" + rs;
        }
        out.push_back(e);
    }
    return out;
}

} // namespace qbtest
