#include "common/charset.h"

#include "common/bytes.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace qb {

namespace {

struct EncodingName {
    Encoding encoding;
    std::string_view key;
    std::string_view label;
    const char *iconvName; // nullptr: not an iconv table
};

constexpr std::array<EncodingName, 8> kNames = {{
    {Encoding::Windows1252, "windows-1252", "Windows-1252", nullptr},
    {Encoding::Auto, "auto", "Automatic (UTF-8 when valid)", nullptr},
    {Encoding::Utf8, "utf-8", "UTF-8", nullptr},
    {Encoding::Cp437, "cp437", "DOS (CP437)", "IBM437"},
    {Encoding::Cp850, "cp850", "DOS Latin 1 (CP850)", "IBM850"},
    {Encoding::Cp852, "cp852", "DOS Latin 2 (CP852)", "IBM852"},
    {Encoding::Cp858, "cp858", "DOS Latin 1 with euro (CP858)", "IBM858"},
    {Encoding::Cp866, "cp866", "DOS Cyrillic (CP866)", "IBM866"},
}};

const EncodingName &nameOf(Encoding e)
{
    for (const auto &n : kNames)
        if (n.encoding == e)
            return n;
    return kNames[0];
}

constexpr char32_t kReplacement = 0xFFFD;

// The characters a national set puts at 23 24 40 5B 5C 5D 5E 60 7B 7C 7D 7E.
constexpr std::array<unsigned char, 12> kNationalPositions = {0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D,
                                                              0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};
constexpr std::array<std::array<char32_t, 12>, 14> kNationalSets = {{
    {U'#', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'},       // 0 USA
    {U'#', U'$', U'à', U'°', U'ç', U'§', U'^', U'`', U'é', U'ù', U'è', U'¨'},        // 1 France
    {U'#', U'$', U'§', U'Ä', U'Ö', U'Ü', U'^', U'`', U'ä', U'ö', U'ü', U'ß'},        // 2 Germany
    {U'£', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'},       // 3 UK
    {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', U'~'},        // 4 Denmark I
    {U'#', U'¤', U'É', U'Ä', U'Ö', U'Å', U'Ü', U'é', U'ä', U'ö', U'å', U'ü'},        // 5 Sweden
    {U'#', U'$', U'@', U'°', U'\\', U'é', U'^', U'ù', U'à', U'ò', U'è', U'ì'},       // 6 Italy
    {U'₧', U'$', U'@', U'¡', U'Ñ', U'¿', U'^', U'`', U'¨', U'ñ', U'}', U'~'},        // 7 Spain I
    {U'#', U'$', U'@', U'[', U'¥', U']', U'^', U'`', U'{', U'|', U'}', U'~'},        // 8 Japan
    {U'#', U'¤', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},        // 9 Norway
    {U'#', U'$', U'É', U'Æ', U'Ø', U'Å', U'Ü', U'é', U'æ', U'ø', U'å', U'ü'},        // 10 Denmark II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'`', U'í', U'ñ', U'ó', U'ú'},        // 11 Spain II
    {U'#', U'$', U'á', U'¡', U'Ñ', U'¿', U'é', U'ü', U'í', U'ñ', U'ó', U'ú'},        // 12 Latin America
    {U'#', U'$', U'@', U'[', U'₩', U']', U'^', U'`', U'{', U'|', U'}', U'~'},        // 13 Korea
}};

// One code point of a single byte through iconv; 0 when the converter needs
// more bytes (not a single-byte table), kReplacement when undefined.
char32_t convertOne(iconv_t cd, unsigned char b)
{
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char in[1] = {char(b)};
    char outBuf[16];
    char *inPtr = in;
    std::size_t inLeft = 1;
    char *outPtr = outBuf;
    std::size_t outLeft = sizeof outBuf;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r == std::size_t(-1) && errno == EINVAL)
        return 0;
    if (r == std::size_t(-1))
        return kReplacement;
    // Converters that combine characters hold the last one back until flushed.
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    const std::size_t produced = sizeof outBuf - outLeft;
    if (produced < 4)
        return kReplacement;
    char32_t c = 0;
    std::memcpy(&c, outBuf, 4); // UTF-32 in this machine's byte order
    return c;
}

} // namespace

std::string_view encodingKey(Encoding e) { return nameOf(e).key; }
std::string_view encodingLabel(Encoding e) { return nameOf(e).label; }

EncodingChoice parseEncoding(std::string_view stored)
{
    EncodingChoice c;
    for (const auto &n : kNames)
        if (n.key == stored) {
            c.value = n.encoding;
            return c;
        }
    c.value = Encoding::Windows1252;
    c.unknown = std::string(stored);
    return c;
}

std::string formatEncoding(const EncodingChoice &choice)
{
    if (!choice.unknown.empty())
        return choice.unknown;
    return std::string(encodingKey(choice.value));
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | (c >> 6)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | (c >> 12)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (c >> 18)));
        out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

void ByteTable::set(unsigned char b, char32_t c)
{
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        c = kReplacement;
    std::string s;
    appendUtf8(s, c);
    std::memcpy(chars_[b].data(), s.data(), s.size());
    length_[b] = std::uint8_t(s.size());
}

void ByteTable::finish()
{
    asciiSame_ = true;
    for (int b = 0; b < 0x80; ++b)
        asciiSame_ = asciiSame_ && length_[std::size_t(b)] == 1 && chars_[std::size_t(b)][0] == char(b);
}

std::shared_ptr<const ByteTable> ByteTable::windows1252()
{
    static const std::shared_ptr<const ByteTable> table = [] {
        auto t = std::make_shared<ByteTable>();
        const QString &text = allByteChars();
        for (int b = 0; b < 256; ++b)
            t->set(static_cast<unsigned char>(b), text.at(b).unicode());
        t->name_ = "windows-1252";
        t->finish();
        return t;
    }();
    return table;
}

std::shared_ptr<const ByteTable> ByteTable::fromIconv(const std::string &iconvName)
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const ByteTable>> cache;
    const std::lock_guard lock(mutex);
    if (const auto it = cache.find(iconvName); it != cache.end())
        return it->second;

    std::shared_ptr<ByteTable> t;
    const iconv_t cd = iconv_open(std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE",
                                  iconvName.c_str());
    if (cd != iconv_t(-1)) {
        t = std::make_shared<ByteTable>();
        t->name_ = iconvName;
        for (int b = 0; b < 256 && t; ++b) {
            char32_t c = b < 0x20 ? char32_t(b) : convertOne(cd, static_cast<unsigned char>(b));
            if (c == 0 && b != 0)
                t.reset(); // a lead byte of a longer sequence
            else
                t->set(static_cast<unsigned char>(b), c);
        }
        iconv_close(cd);
        if (t)
            t->finish();
    }
    cache.emplace(iconvName, t);
    return t;
}

std::shared_ptr<const ByteTable> ByteTable::forEncoding(Encoding e)
{
    if (e == Encoding::Windows1252)
        return windows1252();
    if (const char *name = nameOf(e).iconvName)
        return fromIconv(name);
    return nullptr;
}

std::shared_ptr<const ByteTable> ByteTable::withNationalSet(int n) const
{
    if (n < 0 || std::size_t(n) >= kNationalSets.size())
        return nullptr;
    auto t = std::make_shared<ByteTable>(*this);
    for (std::size_t i = 0; i < kNationalPositions.size(); ++i)
        t->set(kNationalPositions[i], kNationalSets[std::size_t(n)][i]);
    t->finish();
    return t;
}

std::string utf8OrWindows1252(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    TextDecoder d(Encoding::Windows1252);
    d.decode(out, bytes);
    return out;
}

TextDecoder::TextDecoder(Encoding e) : chosen_(e) { reset(); }

void TextDecoder::reset()
{
    partialLength_ = partialNeed_ = 0;
    if (chosen_ == Encoding::Utf8 || (chosen_ == Encoding::Auto && !autoFailed_)) {
        mode_ = chosen_ == Encoding::Utf8 ? Mode::Utf8 : Mode::AutoUtf8;
        table_.reset();
        return;
    }
    mode_ = Mode::Table;
    const Encoding e = chosen_ == Encoding::Auto ? Encoding::Windows1252 : chosen_;
    // Looked up once: a printer job returns to the chosen set on every ESC @.
    if (!chosenTable_) {
        chosenTable_ = ByteTable::forEncoding(e);
        if (!chosenTable_)
            chosenTable_ = ByteTable::windows1252(); // a code page this machine's iconv lacks
    }
    table_ = chosenTable_;
}

void TextDecoder::useTable(std::shared_ptr<const ByteTable> table)
{
    if (!table)
        return;
    partialLength_ = partialNeed_ = 0;
    mode_ = Mode::Table;
    table_ = std::move(table);
}

void TextDecoder::decode(std::string &out, std::string_view bytes)
{
    if (mode_ != Mode::Table) {
        decodeUtf8(out, bytes);
        return;
    }
    const ByteTable &t = *table_;
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (t.asciiSame()) {
            std::size_t j = i;
            while (j + 8 <= n) {
                std::uint64_t w;
                std::memcpy(&w, bytes.data() + j, 8);
                if (w & 0x8080808080808080ull)
                    break;
                j += 8;
            }
            while (j < n && static_cast<unsigned char>(bytes[j]) < 0x80)
                ++j;
            out.append(bytes.data() + i, j - i);
            i = j;
            if (i == n)
                break;
        }
        const auto b = static_cast<unsigned char>(bytes[i++]);
        if (b < 0x20)
            out.push_back(char(b));
        else
            out.append(t.at(b));
    }
}

void TextDecoder::flush(std::string &out)
{
    if (partialLength_ == 0)
        return;
    partialLength_ = partialNeed_ = 0;
    if (mode_ == Mode::AutoUtf8) {
        fail(out, {});
        return;
    }
    appendUtf8(out, kReplacement);
}

// The bytes of the open sequence and rest were not UTF-8: from here on
// Windows-1252 (an automatic choice) or U+FFFD for the offending bytes.
void TextDecoder::fail(std::string &out, std::string_view rest)
{
    const std::string held(reinterpret_cast<const char *>(partial_.data()), partialLength_);
    autoFailed_ = true;
    reset();
    decode(out, held);
    decode(out, rest);
}

namespace {

// Continuation bytes after a lead: how many, and the range of the first.
struct Lead {
    std::uint8_t need = 0; // 0: not a lead byte
    unsigned char lo = 0x80, hi = 0xBF;
};

constexpr Lead computeLead(unsigned char b)
{
    if (b >= 0xC2 && b <= 0xDF)
        return {1, 0x80, 0xBF};
    if (b == 0xE0)
        return {2, 0xA0, 0xBF};
    if (b == 0xED)
        return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF)
        return {2, 0x80, 0xBF};
    if (b == 0xF0)
        return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3)
        return {3, 0x80, 0xBF};
    if (b == 0xF4)
        return {3, 0x80, 0x8F};
    return {};
}

constexpr std::array<Lead, 256> kLeads = [] {
    std::array<Lead, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[std::size_t(b)] = computeLead(static_cast<unsigned char>(b));
    return t;
}();

inline const Lead &leadOf(unsigned char b) { return kLeads[b]; }

} // namespace

std::size_t completeUtf8End(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t k = n; k > 0 && n - k < 3; --k) {
        const auto b = static_cast<unsigned char>(bytes[k - 1]);
        if ((b & 0xC0) != 0x80)
            return leadOf(b).need > n - k ? k - 1 : n;
    }
    return n;
}

namespace {

// The end of the valid UTF-8 from i on: ASCII eight bytes at a time, whole
// sequences checked in place. Stops at an invalid byte or a sequence the
// bytes end inside.
std::size_t validRunEnd(const unsigned char *p, std::size_t n, std::size_t i)
{
    for (;;) {
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ull)
                break;
            i += 8;
        }
        while (i < n && p[i] < 0x80)
            ++i;
        if (i == n)
            return i;
        const Lead &l = leadOf(p[i]);
        if (l.need == 0 || i + l.need >= n || p[i + 1] < l.lo || p[i + 1] > l.hi)
            return i;
        for (std::uint8_t k = 2; k <= l.need; ++k)
            if ((p[i + k] & 0xC0) != 0x80)
                return i;
        i += l.need + 1u;
    }
}

} // namespace

void TextDecoder::decodeUtf8(std::string &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (partialLength_ == 0) {
            const std::size_t j = validRunEnd(p, n, i);
            out.append(reinterpret_cast<const char *>(p + i), j - i);
            i = j;
            if (i == n)
                break;
            const unsigned char b = p[i];
            const Lead &l = leadOf(b);
            if (l.need == 0) {
                if (mode_ == Mode::AutoUtf8) {
                    fail(out, bytes.substr(i));
                    return;
                }
                appendUtf8(out, kReplacement);
                ++i;
                continue;
            }
            partial_[0] = b;
            partialLength_ = 1;
            partialNeed_ = l.need;
            ++i;
            continue;
        }
        // A continuation byte, checked against the lead's allowed range.
        const unsigned char b = p[i];
        unsigned char lo = 0x80, hi = 0xBF;
        if (partialLength_ == 1) {
            const Lead &l = leadOf(partial_[0]);
            lo = l.lo;
            hi = l.hi;
        }
        if (b < lo || b > hi) {
            if (mode_ == Mode::AutoUtf8) {
                fail(out, bytes.substr(i));
                return;
            }
            // The sequence so far is one replacement; b starts afresh.
            partialLength_ = partialNeed_ = 0;
            appendUtf8(out, kReplacement);
            continue;
        }
        partial_[partialLength_++] = b;
        ++i;
        if (partialLength_ == partialNeed_ + 1) {
            out.append(reinterpret_cast<const char *>(partial_.data()), partialLength_);
            partialLength_ = partialNeed_ = 0;
        }
    }
}

} // namespace qb
