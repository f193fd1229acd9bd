#include "capture/escpos.h"

#include "capture/reportassembler.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace qb {

namespace {

constexpr unsigned char ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;

// The longest command header kept across reads: GS k form A (3 bytes, up to
// 255 data bytes, NUL) and ESC D (up to 32 tab stops, NUL).
constexpr std::size_t kMaxFormA = 255;
constexpr std::size_t kMaxTabStops = 32;

// The status an online printer with paper, drawer closed and no error gives.
constexpr char kStatusOk = 0x12;

std::string hexOf(const unsigned char *p, std::size_t len)
{
    std::string s;
    char buf[4];
    for (std::size_t i = 0; i < len && i < 3; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    return s;
}

std::uint16_t le16(const unsigned char *p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t le32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

// Digit parameters are given as 0..n or as the characters '0'..'n'.
int digit(unsigned char v) { return v >= '0' && v <= '9' ? v - '0' : v; }

struct CodeTable {
    int n;
    const char *iconvName; // nullptr: no converter for it
};

constexpr std::array<CodeTable, 34> kCodeTables = {{
    {0, "IBM437"},       {1, nullptr},        {2, "IBM850"},       {3, "IBM860"},    {4, "IBM863"},
    {5, "IBM865"},       {11, "IBM851"},      {12, nullptr},       {13, "IBM857"},   {14, "CP737"},
    {15, "ISO-8859-7"},  {16, "windows-1252"}, {17, "IBM866"},     {18, "IBM852"},   {19, "IBM858"},
    {32, "CP720"},       {33, "CP775"},       {34, "IBM855"},      {35, "IBM861"},   {36, "IBM862"},
    {37, "IBM864"},      {38, "IBM869"},      {39, "ISO-8859-2"},  {40, "ISO-8859-15"}, {44, "CP1125"},
    {45, "CP1250"},      {46, "CP1251"},      {47, "CP1253"},      {48, "CP1254"},   {49, "CP1255"},
    {50, "CP1256"},      {51, "CP1257"},      {52, "CP1258"},      {255, nullptr},
}};

// Splits readable data into lines at CR LF, CR and LF; NUL bytes dropped.
std::vector<std::string> readableLines(std::string_view text)
{
    std::vector<std::string> out;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            continue;
        if (c == '\r' || c == '\n') {
            out.push_back(std::move(cur));
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        cur.push_back(c);
    }
    if (!cur.empty() || out.empty())
        out.push_back(std::move(cur));
    return out;
}

std::string asText(std::string_view data) { return utf8OrWindows1252(data); }

} // namespace

std::string EscPosDecoder::codeTableName(int n)
{
    for (const auto &t : kCodeTables)
        if (t.n == n)
            return t.iconvName ? t.iconvName : "";
    return {};
}

std::string EscPosDecoder::code128Readable(std::string_view data)
{
    std::string out;
    char set = 'B';
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == '{' && i + 1 < data.size()) {
            const char s = data[++i];
            if (s == 'A' || s == 'B' || s == 'C')
                set = s;
            else if (s == '{')
                out.push_back('{');
            // {S shifts one character, {1..{4 are function codes: no text.
            continue;
        }
        if (set == 'C') {
            if (c < 100) {
                out.push_back(char('0' + c / 10));
                out.push_back(char('0' + c % 10));
            }
        } else if (c >= 0x20 && c < 0x7F) {
            out.push_back(char(c));
        }
    }
    return out;
}

EscPosDecoder::EscPosDecoder(Document &doc, const DecoderSettings &settings, StatusReply reply)
    : line_(doc, settings.encoding, std::size_t(settings.paperColumns)), reply_(std::move(reply))
{
}

void EscPosDecoder::reply(std::string_view bytes)
{
    if (reply_)
        reply_(bytes);
}

void EscPosDecoder::skipped(const unsigned char *p, std::size_t len)
{
    line_.marker(MarkerKind::SkippedCommand, hexOf(p, len));
}

void EscPosDecoder::feed(std::string_view bytes)
{
    run(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), fed_);
    fed_ += bytes.size();
}

void EscPosDecoder::run(const unsigned char *p, std::size_t n, std::uint64_t at)
{
    std::size_t i = 0;
    while (i < n) {
        if (payload_ == Payload::UserChars && remaining_ == 0) {
            // Each user-defined character: its width x, then height * x bytes.
            if (userCharsLeft_ == 0) {
                payload_ = Payload::None;
                continue;
            }
            const unsigned char x = p[i++];
            --userCharsLeft_;
            remaining_ = std::uint64_t(height_) * x;
            continue;
        }
        if (payload_ != Payload::None) {
            const std::size_t take = std::size_t(std::min<std::uint64_t>(remaining_, n - i));
            if (collect_)
                collected_.insert(collected_.end(), p + i, p + i + take);
            remaining_ -= take;
            i += take;
            if (remaining_ == 0 && payload_ != Payload::UserChars)
                payloadDone();
            continue;
        }
        if (!pending_.empty()) {
            // Complete the command begun in an earlier read, a byte at a time.
            pending_.push_back(char(p[i++]));
            const auto *q = reinterpret_cast<const unsigned char *>(pending_.data());
            line_.setPosition(pendingAt_ + 1);
            const std::size_t used = command(q, pending_.size());
            if (used == 0)
                continue;
            const std::string rest = pending_.substr(used);
            pending_.clear();
            if (!rest.empty())
                run(reinterpret_cast<const unsigned char *>(rest.data()), rest.size(), pendingAt_ + used);
            continue;
        }
        const unsigned char b = p[i];
        if (b == ESC || b == GS || b == FS || b == DLE) {
            line_.setPosition(at + i + 1);
            const std::size_t used = command(p + i, n - i);
            if (used == 0) {
                pending_.assign(reinterpret_cast<const char *>(p + i), n - i);
                pendingAt_ = at + i;
                return;
            }
            i += used;
            continue;
        }
        if (b < 0x20) {
            control(b);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j + 8 <= n) {
            // Eight bytes at a time while none is below 0x20.
            std::uint64_t w;
            std::memcpy(&w, p + j, 8);
            if (((w - 0x2020202020202020ull) & ~w & 0x8080808080808080ull) != 0)
                break;
            j += 8;
        }
        while (j < n && p[j] >= 0x20)
            ++j;
        line_.text(std::string_view(reinterpret_cast<const char *>(p + i), j - i));
        i = j;
    }
}

void EscPosDecoder::control(unsigned char c)
{
    switch (c) {
    case '\n':
        // The feed after an image band or a symbol does not leave a blank line.
        if (line_.lineEmpty() && line_.justAfterBlock())
            line_.clearAfterBlock();
        else
            line_.endLine();
        break;
    case '\t': line_.tab(); break;
    case '\f': line_.endLineIfAny(); break;
    default: break; // CR and the rest: nothing on paper
    }
}

#define NEED(k)                                                                                    \
    do {                                                                                           \
        if (n < std::size_t(k))                                                                    \
            return 0;                                                                              \
    } while (false)

std::size_t EscPosDecoder::command(const unsigned char *p, std::size_t n)
{
    switch (p[0]) {
    case ESC: return esc(p, n);
    case GS: return gs(p, n);
    case FS: return fs(p, n);
    default: return dle(p, n);
    }
}

void EscPosDecoder::setBold()
{
    TextStyle s = line_.style();
    s.bold = emphasized_ || doubleStrike_;
    line_.setStyle(s);
}

void EscPosDecoder::initialize()
{
    line_.setStyle(TextStyle{});
    line_.setAlign(Align::Left);
    emphasized_ = doubleStrike_ = false;
    codeTable_ = -1;
    nationalSet_ = 0;
    line_.charset().reset();
    barHeight_ = 162;
    barWidth_ = 3;
    readablePosition_ = 0;
    twoD_ = {};
    escZKind_ = 2;
}

void EscPosDecoder::applyTables()
{
    std::shared_ptr<const ByteTable> base;
    if (codeTable_ >= 0) {
        base = codeTableOf(codeTable_);
    } else {
        line_.charset().reset();
        const ByteTable *chosen = line_.charset().table();
        if (nationalSet_ == 0 || !chosen)
            return; // UTF-8 text has no national variants
        base = std::make_shared<ByteTable>(*chosen);
    }
    if (!base)
        return;
    if (nationalSet_ != 0)
        if (auto overlaid = base->withNationalSet(nationalSet_))
            base = overlaid;
    line_.charset().useTable(std::move(base));
}

std::shared_ptr<const ByteTable> EscPosDecoder::codeTableOf(int n)
{
    for (const auto &[number, table] : codeTables_)
        if (number == n)
            return table;
    const std::string name = codeTableName(n);
    std::shared_ptr<const ByteTable> table;
    if (!name.empty())
        table = name == "windows-1252" ? ByteTable::windows1252() : ByteTable::fromIconv(name);
    codeTables_.emplace_back(n, table);
    return table;
}

void EscPosDecoder::setCodeTable(int n)
{
    if (!codeTableOf(n)) {
        line_.marker(MarkerKind::CodeTableMissing, "ESC t " + std::to_string(n));
        return;
    }
    codeTable_ = n;
    applyTables();
}

void EscPosDecoder::setNationalSet(int n)
{
    if (!ByteTable::windows1252()->withNationalSet(n)) {
        line_.marker(MarkerKind::CodeTableMissing, "ESC R " + std::to_string(n));
        return;
    }
    nationalSet_ = n;
    applyTables();
}

void EscPosDecoder::feedLines(std::size_t n)
{
    if (n == 0) {
        line_.endLineIfAny();
        return;
    }
    line_.endLine();
    line_.blankLines(n - 1);
}

std::size_t EscPosDecoder::esc(const unsigned char *p, std::size_t n)
{
    NEED(2);
    const unsigned char x = p[1];
    TextStyle s = line_.style();
    switch (x) {
    case '@': initialize(); return 2;
    case '2': case '<': case 'L': case 'S': case 0x0C: return 2;
    case 'i': case 'm': line_.block(Marker{MarkerKind::Cut, {}}); return 2;
    case '!': {
        NEED(3);
        const unsigned char v = p[2];
        s.fontB = v & 0x01;
        emphasized_ = v & 0x08;
        s.bold = emphasized_ || doubleStrike_;
        s.heightScale = (v & 0x10) ? 2 : 1;
        s.widthScale = (v & 0x20) ? 2 : 1;
        s.underline = (v & 0x80) ? Underline::Thin : Underline::None;
        line_.setStyle(s);
        return 3;
    }
    case 'E': NEED(3); emphasized_ = p[2] & 1; setBold(); return 3;
    case 'G': NEED(3); doubleStrike_ = p[2] & 1; setBold(); return 3;
    case '-': {
        NEED(3);
        const int v = digit(p[2]);
        if (v >= 0 && v <= 2) {
            s.underline = v == 0 ? Underline::None : v == 1 ? Underline::Thin : Underline::Thick;
            line_.setStyle(s);
        }
        return 3;
    }
    case 'M': {
        NEED(3);
        const int v = digit(p[2]);
        if (v >= 0 && v <= 2) {
            s.fontB = v != 0;
            line_.setStyle(s);
        }
        return 3;
    }
    case 'a': {
        NEED(3);
        const int v = digit(p[2]);
        if (v >= 0 && v <= 2)
            line_.setAlign(v == 0 ? Align::Left : v == 1 ? Align::Centre : Align::Right);
        return 3;
    }
    case '{': NEED(3); s.upsideDown = p[2] & 1; line_.setStyle(s); return 3;
    case 'd': NEED(3); feedLines(p[2]); return 3;
    case 'J': {
        NEED(3);
        // About 30 dots a line.
        const std::size_t lines = (std::size_t(p[2]) + 15) / 30;
        feedLines(std::max<std::size_t>(lines, line_.lineEmpty() ? 0 : 1));
        return 3;
    }
    case 'e': case 'K': NEED(3); line_.endLineIfAny(); return 3;
    case 't': NEED(3); setCodeTable(p[2]); return 3;
    case 'R': NEED(3); setNationalSet(p[2]); return 3;
    case ' ': case '3': case '=': case '%': case '?': case 'T': case 'V': case 'U': case 'r': case 'u':
        NEED(3);
        return 3;
    case 'c': NEED(4); return 4;
    case '$': case '\\': {
        NEED(4);
        // 12 dots a column of the normal font.
        const int v = le16(p + 2);
        if (x == '$')
            line_.moveToColumn(std::size_t(v) / 12);
        else if (v > 0 && v < 0x8000)
            line_.moveToColumn(line_.columns() + std::size_t(v) / 12);
        return 4;
    }
    case 'B': NEED(4); line_.marker(MarkerKind::Beeper); return 4;
    case 'p': NEED(5); line_.marker(MarkerKind::DrawerKick); return 5;
    case 'W': NEED(10); return 10;
    case 'D': {
        for (std::size_t i = 2; i < n && i < 2 + kMaxTabStops + 1; ++i)
            if (p[i] == 0)
                return i + 1;
        NEED(2 + kMaxTabStops + 1);
        return 2 + kMaxTabStops;
    }
    case '*': {
        NEED(5);
        const int m = p[2];
        const std::uint32_t k = le16(p + 3);
        if (m != 0 && m != 1 && m != 32 && m != 33) {
            skipped(p, 3);
            return 3;
        }
        mode_ = m;
        width_ = k;
        startPayload(Payload::BitImage, std::uint64_t(k) * (m >= 32 ? 3 : 1), k <= kMaxImageWidth);
        if (k > kMaxImageWidth)
            line_.marker(MarkerKind::ImageSkipped, "too large");
        return 5;
    }
    case '&': {
        NEED(5);
        const unsigned char y = p[2], c1 = p[3], c2 = p[4];
        if (y == 0 || y > 3 || c1 < 0x20 || c2 > 0x7E || c1 > c2) {
            skipped(p, 2);
            return 5;
        }
        height_ = y;
        userCharsLeft_ = std::uint32_t(c2 - c1 + 1);
        payload_ = Payload::UserChars;
        collect_ = false;
        remaining_ = 0;
        return 5;
    }
    case 'Z': {
        // ESC Z v e k dL dH d1..dn: the 2D symbol GS Z chose, printed at once.
        NEED(7);
        escZ_ = {p[2], p[3], p[4]};
        startPayload(Payload::EscZ, le16(p + 5), true);
        return 7;
    }
    case '(': {
        NEED(5);
        const std::uint32_t len = le16(p + 3);
        if (p[2] == 'A' && len >= 1)
            line_.marker(MarkerKind::Beeper);
        else if (p[2] != 'Y')
            skipped(p, 3);
        startPayload(Payload::Skip, len, false);
        return 5;
    }
    default: skipped(p, 2); return 2;
    }
}

std::size_t EscPosDecoder::gs(const unsigned char *p, std::size_t n)
{
    NEED(2);
    const unsigned char x = p[1];
    TextStyle s = line_.style();
    switch (x) {
    case '!': {
        NEED(3);
        s.widthScale = std::uint8_t(((p[2] >> 4) & 7) + 1);
        s.heightScale = std::uint8_t((p[2] & 7) + 1);
        line_.setStyle(s);
        return 3;
    }
    case 'B': NEED(3); s.reverse = p[2] & 1; line_.setStyle(s); return 3;
    case 'h': NEED(3); barHeight_ = std::max<int>(1, p[2]); return 3;
    case 'Z': NEED(3); escZKind_ = p[2]; return 3;
    case 'w': NEED(3); barWidth_ = std::clamp<int>(p[2], 1, 6); return 3;
    case 'H': NEED(3); readablePosition_ = digit(p[2]) & 3; return 3;
    case 'f': case 'b': case 'E': case 'j': case 'T': case '/': NEED(3); return 3;
    case ':': case 'c': return 2;
    case 'L': case 'W': case 'P': case '$': case '\\': NEED(4); return 4;
    case '^': NEED(5); return 5;
    case 'r': {
        NEED(3);
        const int v = digit(p[2]);
        if (v == 1 || v == 2)
            reply(std::string_view("\0", 1));
        return 3;
    }
    case 'I': {
        NEED(3);
        const int v = p[2];
        switch (v) {
        case 1: case 49: reply("\x20"); break;   // model
        case 2: case 50: reply("\x02"); break;   // type: with cutter, no drawer sensor fault
        case 3: case 51: reply("\x10"); break;   // firmware
        case 65: reply(std::string_view("_1.00\0", 6)); break;
        case 66: reply(std::string_view("_QUILLBOX\0", 10)); break;
        case 67: reply(std::string_view("_QUILLBOX RECEIPT\0", 18)); break;
        case 68: reply(std::string_view("_000000000\0", 11)); break;
        case 69: reply(std::string_view("_ANK\0", 5)); break;
        default: break;
        }
        return 3;
    }
    case 'a': {
        NEED(3);
        // Automatic status back: the four bytes of a printer with nothing to report.
        if (p[2] != 0)
            reply(std::string_view("\x10\0\0\0", 4));
        return 3;
    }
    case 'V': {
        NEED(3);
        const int m = p[2];
        if (m == 0 || m == 1 || m == 48 || m == 49) {
            line_.block(Marker{MarkerKind::Cut, {}});
            return 3;
        }
        if (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) {
            NEED(4);
            line_.block(Marker{MarkerKind::Cut, {}});
            return 4;
        }
        skipped(p, 3);
        return 3;
    }
    case 'v': {
        NEED(3);
        if (p[2] != '0') {
            skipped(p, 3);
            return 3;
        }
        NEED(8);
        width_ = le16(p + 4);  // bytes
        height_ = le16(p + 6); // rows
        const std::uint64_t total = std::uint64_t(width_) * height_;
        const bool fits = total <= kMaxImageBytes && width_ * 8 <= kMaxImageWidth;
        if (!fits)
            line_.marker(MarkerKind::ImageSkipped, "too large");
        startPayload(Payload::RasterV0, total, fits);
        return 8;
    }
    case 'k': {
        NEED(3);
        const int m = p[2];
        if (m <= 6) {
            for (std::size_t i = 3; i < n && i <= 3 + kMaxFormA; ++i)
                if (p[i] == 0) {
                    barcode(m, std::string_view(reinterpret_cast<const char *>(p + 3), i - 3));
                    return i + 1;
                }
            NEED(3 + kMaxFormA + 1);
            skipped(p, 3);
            return 3;
        }
        if (m >= 65 && m <= 79) {
            NEED(4);
            const std::size_t len = p[3];
            NEED(4 + len);
            barcode(m, std::string_view(reinterpret_cast<const char *>(p + 4), len));
            return 4 + len;
        }
        skipped(p, 3);
        return 3;
    }
    case '(': {
        NEED(5);
        const unsigned char f = p[2];
        const std::uint32_t len = le16(p + 3);
        if (f == 'k' || f == 'L') {
            startPayload(f == 'k' ? Payload::TwoD : Payload::Graphics, len, true);
            return 5;
        }
        static constexpr std::string_view known = "ACDEHKMNPQz";
        if (known.find(char(f)) == std::string_view::npos)
            skipped(p, 3);
        startPayload(Payload::Skip, len, false);
        return 5;
    }
    case '8': {
        NEED(7);
        const std::uint32_t len = le32(p + 3);
        if (p[2] == 'L') {
            const bool fits = len <= kMaxImageBytes + 16;
            if (!fits)
                line_.marker(MarkerKind::ImageSkipped, "too large");
            startPayload(fits ? Payload::Graphics : Payload::Skip, len, fits);
            return 7;
        }
        skipped(p, 3);
        startPayload(Payload::Skip, len, false);
        return 7;
    }
    case '*': {
        NEED(4);
        startPayload(Payload::Skip, std::uint64_t(p[2]) * p[3] * 8, false);
        return 4;
    }
    default: skipped(p, 2); return 2;
    }
}

std::size_t EscPosDecoder::fs(const unsigned char *p, std::size_t n)
{
    NEED(2);
    switch (p[1]) {
    case '&': case '.': return 2;
    case '!': case '-': case 'C': case 'W': NEED(3); return 3;
    case 'S': case 'p': NEED(4); return 4;
    case '2': NEED(4); startPayload(Payload::Skip, 72, false); return 4;
    case '(': {
        NEED(5);
        static constexpr std::string_view known = "ACELe";
        if (known.find(char(p[2])) == std::string_view::npos)
            skipped(p, 3);
        startPayload(Payload::Skip, le16(p + 3), false);
        return 5;
    }
    default: skipped(p, 2); return 2;
    }
}

std::size_t EscPosDecoder::dle(const unsigned char *p, std::size_t n)
{
    NEED(2);
    switch (p[1]) {
    case 0x04: {
        NEED(3);
        const int v = p[2];
        if (v >= 1 && v <= 4) {
            reply(std::string_view(&kStatusOk, 1));
            return 3;
        }
        if (v == 7 || v == 8) {
            NEED(4);
            return 4;
        }
        return 3;
    }
    case 0x05: NEED(3); return 3;
    case 0x14: {
        NEED(3);
        const int fn = p[2];
        if (fn == 1) {
            NEED(5);
            line_.marker(MarkerKind::DrawerKick);
            return 5;
        }
        if (fn == 2) {
            NEED(5);
            return 5;
        }
        if (fn == 8) {
            NEED(10);
            return 10;
        }
        skipped(p, 3);
        return 3;
    }
    default: return 1; // a lone DLE: a control code without effect
    }
}

#undef NEED

void EscPosDecoder::startPayload(Payload kind, std::uint64_t length, bool collect)
{
    payload_ = kind;
    remaining_ = length;
    collect_ = collect;
    collected_.clear();
    if (length == 0)
        payloadDone();
}

void EscPosDecoder::payloadDone()
{
    const Payload kind = payload_;
    payload_ = Payload::None;
    collect_ = false;
    switch (kind) {
    case Payload::RasterV0: rasterImage(); break;
    case Payload::BitImage: bitImageBand(); break;
    case Payload::Graphics: graphics(); break;
    case Payload::TwoD: twoD(); break;
    case Payload::EscZ: escZSymbol(); break;
    default: break;
    }
    std::vector<std::uint8_t>().swap(collected_);
}

void EscPosDecoder::image(RasterImage img)
{
    if (img.width == 0 || img.height == 0)
        return;
    line_.block(std::move(img));
}

void EscPosDecoder::rasterImage()
{
    if (collected_.empty() || width_ == 0 || height_ == 0)
        return;
    RasterImage img;
    img.width = width_ * 8;
    img.height = height_;
    img.bits = std::move(collected_);
    image(std::move(img));
}

void EscPosDecoder::bitImageBand()
{
    if (width_ == 0 || collected_.empty())
        return;
    const std::uint32_t perColumn = mode_ >= 32 ? 3 : 1;
    RasterImage band;
    band.width = width_;
    band.height = perColumn * 8;
    band.bits.assign(std::size_t(band.rowBytes()) * band.height, 0);
    for (std::uint32_t c = 0; c < width_; ++c)
        for (std::uint32_t j = 0; j < perColumn; ++j) {
            const std::uint8_t v = collected_[std::size_t(c) * perColumn + j];
            for (int bit = 0; bit < 8; ++bit)
                if (v & (0x80 >> bit)) {
                    const std::uint32_t row = j * 8 + std::uint32_t(bit);
                    band.bits[std::size_t(row) * band.rowBytes() + c / 8] |= std::uint8_t(0x80 >> (c % 8));
                }
        }
    // Bands printed one under the other make one picture.
    auto &blocks = line_.document().mutableBlocks();
    if (bandBlock_ != SIZE_MAX && bandBlock_ + 1 == blocks.size() && blocks.back().beforeLine == line_.document().lineCount() &&
        line_.lineEmpty()) {
        if (auto *img = std::get_if<RasterImage>(&blocks.back().content);
            img && img->width == band.width && img->bits.size() + band.bits.size() <= kMaxImageBytes) {
            img->bits.insert(img->bits.end(), band.bits.begin(), band.bits.end());
            img->height += band.height;
            line_.noteBlock();
            return;
        }
    }
    image(std::move(band));
    bandBlock_ = blocks.size() - 1;
}

void EscPosDecoder::graphics()
{
    // m fn, then the function's parameters.
    if (collected_.size() < 2)
        return;
    const int fn = collected_[1];
    if (fn == 2 || fn == 50) {
        if (storedGraphics_.height == 0)
            return;
        if (!line_.spend(storedGraphics_.bits.size())) {
            line_.marker(MarkerKind::ImageSkipped, "printed too often");
            return;
        }
        image(storedGraphics_);
        return;
    }
    if (fn == 69 || fn == 85) {
        line_.marker(MarkerKind::ImageSkipped, "stored in the printer");
        return;
    }
    if (fn != 112)
        return;
    // a bx by c xL xH yL yH, then the dots.
    if (collected_.size() < 10) {
        line_.marker(MarkerKind::ImageSkipped, "cut short");
        return;
    }
    RasterImage img;
    img.width = le16(collected_.data() + 6);
    img.height = le16(collected_.data() + 8);
    const std::size_t need = std::size_t(img.rowBytes()) * img.height;
    if (img.width == 0 || img.height == 0 || img.width > kMaxImageWidth || need > collected_.size() - 10) {
        line_.marker(MarkerKind::ImageSkipped, "cut short");
        storedGraphics_ = {};
        return;
    }
    img.bits.assign(collected_.begin() + 10, collected_.begin() + 10 + std::ptrdiff_t(need));
    storedGraphics_ = std::move(img);
}

void EscPosDecoder::twoD()
{
    if (collected_.size() < 2)
        return;
    const int cn = collected_[0], fn = collected_[1];
    int index = -1;
    SymbolKind kind{};
    switch (cn) {
    case 0x30: index = 0; kind = SymbolKind::Pdf417; break;
    case 0x31: index = 1; kind = SymbolKind::QrCode; break;
    case 0x32: index = 2; kind = SymbolKind::MaxiCode; break;
    case 0x35: index = 3; kind = SymbolKind::Aztec; break;
    case 0x36: index = 4; kind = SymbolKind::DataMatrix; break;
    default:
        if (fn == 0x51)
            line_.marker(MarkerKind::SymbolSkipped, "kind " + hexOf(collected_.data(), 1));
        return;
    }
    TwoDState &st = twoD_[std::size_t(index)];
    const std::size_t size = collected_.size();
    switch (fn) {
    case 0x50:
        if (size >= 3)
            st.data.assign(reinterpret_cast<const char *>(collected_.data()) + 3, size - 3);
        break;
    case 0x51:
        if (st.data.empty()) {
            line_.marker(MarkerKind::SymbolSkipped, "no data stored");
            break;
        }
        printSymbol(kind, st.data, asText(st.data));
        break;
    case 0x43:
        if (size >= 3)
            st.moduleSize = std::clamp<int>(collected_[2], 1, 16);
        break;
    case 0x45:
        if (kind == SymbolKind::QrCode && size >= 3 && collected_[2] >= 48 && collected_[2] <= 51)
            st.errorLevel = collected_[2] - 48 + 1;
        else if (kind == SymbolKind::Pdf417 && size >= 4 && collected_[2] == 48 && collected_[3] >= 48 &&
                 collected_[3] <= 56)
            st.errorLevel = collected_[3] - 48 + 1;
        break;
    default: break;
    }
}

void EscPosDecoder::escZSymbol()
{
    const auto [version, level, module] = escZ_;
    (void)version; // the symbol's size follows from its data
    SymbolKind kind{};
    TwoDState shape;
    shape.moduleSize = module == 0 ? 3 : std::clamp<int>(module, 1, 16);
    switch (escZKind_) {
    case 0:
        kind = SymbolKind::Pdf417;
        if (level <= 8)
            shape.errorLevel = level + 1;
        else if (level >= '0' && level <= '8')
            shape.errorLevel = level - '0' + 1;
        break;
    case 1: kind = SymbolKind::DataMatrix; break;
    case 2: {
        kind = SymbolKind::QrCode;
        static constexpr std::string_view kLevels = "LMQH";
        if (const std::size_t i = kLevels.find(char(std::toupper(level))); i != std::string_view::npos)
            shape.errorLevel = int(i) + 1;
        else if (level <= 3)
            shape.errorLevel = level + 1;
        break;
    }
    default:
        line_.marker(MarkerKind::SymbolSkipped, "GS Z " + std::to_string(escZKind_));
        return;
    }
    if (collected_.empty()) {
        line_.marker(MarkerKind::SymbolSkipped, "no data");
        return;
    }
    std::string data(reinterpret_cast<const char *>(collected_.data()), collected_.size());
    std::string readable = asText(data);
    printSymbol(kind, std::move(data), std::move(readable), &shape);
}

void EscPosDecoder::barcode(int m, std::string_view data)
{
    static constexpr std::array<SymbolKind, 9> kinds = {
        SymbolKind::UpcA,   SymbolKind::UpcE,    SymbolKind::Ean13,  SymbolKind::Ean8,   SymbolKind::Code39,
        SymbolKind::Itf,    SymbolKind::Codabar, SymbolKind::Code93, SymbolKind::Code128};
    const int index = m >= 65 ? m - 65 : m;
    if (index >= int(kinds.size())) {
        line_.marker(MarkerKind::SymbolSkipped, "GS k " + std::to_string(m));
        line_.endLineIfAny();
        for (const std::string &l : readableLines(asText(data)))
            line_.document().addLine(l, {}, line_.align());
        return;
    }
    const SymbolKind kind = kinds[std::size_t(index)];
    std::string readable = kind == SymbolKind::Code128 ? code128Readable(data) : asText(data);
    printSymbol(kind, std::string(data), std::move(readable));
}

void EscPosDecoder::printSymbol(SymbolKind kind, std::string data, std::string readable, const TwoDState *shape)
{
    if (!line_.spend(data.size() + readable.size() + 64)) {
        line_.marker(MarkerKind::SymbolSkipped, "printed too often");
        return;
    }
    Symbol sym;
    sym.kind = kind;
    if (sym.isTwoDimensional()) {
        const TwoDState &st = shape ? *shape
                                    : twoD_[kind == SymbolKind::Pdf417    ? 0
                                            : kind == SymbolKind::QrCode  ? 1
                                            : kind == SymbolKind::MaxiCode ? 2
                                            : kind == SymbolKind::Aztec   ? 3
                                                                          : 4];
        sym.moduleWidth = st.moduleSize;
        sym.errorLevel = st.errorLevel;
    } else {
        sym.height = barHeight_;
        sym.moduleWidth = barWidth_;
        sym.readablePosition = ReadablePosition(readablePosition_);
    }
    sym.data = std::move(data);
    Document &doc = line_.document();
    if (findLineBreakOrNul(readable.data(), readable.data() + readable.size()) == readable.data() + readable.size()) {
        // One line, as most symbols' data is: the line is the block's own text.
        sym.readable = std::move(readable);
        line_.block(std::move(sym));
        doc.addLine(std::get<Symbol>(doc.blocks().back().content).readable, {}, line_.align());
        return;
    }
    std::vector<std::string> lines = readableLines(readable);
    sym.readable = std::move(readable);
    sym.readableLines = std::uint32_t(lines.size());
    line_.block(std::move(sym));
    for (const std::string &l : lines)
        doc.addLine(l, {}, line_.align());
}

void EscPosDecoder::finish()
{
    if (!pending_.empty()) {
        const auto *q = reinterpret_cast<const unsigned char *>(pending_.data());
        line_.marker(MarkerKind::SkippedCommand, hexOf(q, pending_.size()) + " (cut short)");
        pending_.clear();
    }
    if (payload_ == Payload::RasterV0 || payload_ == Payload::BitImage || payload_ == Payload::Graphics) {
        if (collect_)
            line_.marker(MarkerKind::ImageSkipped, "cut short");
    }
    payload_ = Payload::None;
    line_.finish();
}

} // namespace qb
