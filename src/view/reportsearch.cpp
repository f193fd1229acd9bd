#include "view/reportsearch.h"

#include "common/bytes.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>
#include <functional>

namespace qb {

namespace {

// Each byte's lower case as the bytes show as characters, when that is a
// byte too; every other byte stands for itself.
std::array<unsigned char, 256> foldTable()
{
    std::array<unsigned char, 256> fold{};
    for (int b = 0; b < 256; ++b) {
        fold[std::size_t(b)] = static_cast<unsigned char>(b);
        const QString lower = bytesToText(std::string(1, char(b))).toLower();
        const std::string back = textToBytes(lower);
        if (back.size() == 1 && bytesToText(back) == lower)
            fold[std::size_t(b)] = static_cast<unsigned char>(back[0]);
    }
    return fold;
}

// The case folding of a decoded report's text: each code point to its
// simple case fold (or, failing that, its lower case) when that takes as many
// UTF-8 bytes, so a folded text keeps every offset. That covers ASCII, the
// Latin letters, Greek, Cyrillic and the other scripts with case inside the
// basic plane; the few folds that change a character's length (the Kelvin
// sign, a dotted capital I) leave it as it is.
class Utf8Fold
{
public:
    Utf8Fold() : m_table(0x10000)
    {
        for (char32_t cp = 0; cp < 0x10000; ++cp) {
            m_table[cp] = char16_t(cp);
            if (cp >= 0xD800 && cp <= 0xDFFF)
                continue;
            const auto bytes = [](char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; };
            for (const char32_t folded : {QChar::toCaseFolded(cp), QChar::toLower(cp)}) {
                if (folded != cp && folded < 0x10000 && bytes(folded) == bytes(cp) && !(folded >= 0xD800 && folded <= 0xDFFF)) {
                    m_table[cp] = char16_t(folded);
                    break;
                }
            }
        }
    }
    // Writes the folded form of n bytes of UTF-8 to out (n bytes too).
    void fold(const char *in, std::size_t n, char *out) const
    {
        const auto *b = reinterpret_cast<const unsigned char *>(in);
        std::size_t i = 0;
        while (i < n) {
            const unsigned char lead = b[i];
            if (lead < 0x80) {
                out[i] = char(m_table[lead]);
                ++i;
                continue;
            }
            if (lead >= 0xC2 && lead <= 0xDF && i + 1 < n && (b[i + 1] & 0xC0) == 0x80) {
                const char32_t f = m_table[char32_t(((lead & 0x1F) << 6) | (b[i + 1] & 0x3F))];
                out[i] = char(0xC0 | (f >> 6));
                out[i + 1] = char(0x80 | (f & 0x3F));
                i += 2;
                continue;
            }
            if (lead >= 0xE0 && lead <= 0xEF && i + 2 < n && (b[i + 1] & 0xC0) == 0x80 && (b[i + 2] & 0xC0) == 0x80) {
                const char32_t cp = ((lead & 0x0F) << 12) | ((b[i + 1] & 0x3F) << 6) | (b[i + 2] & 0x3F);
                const char32_t f = cp >= 0x800 ? char32_t(m_table[cp]) : cp;
                out[i] = char(0xE0 | (f >> 12));
                out[i + 1] = char(0x80 | ((f >> 6) & 0x3F));
                out[i + 2] = char(0x80 | (f & 0x3F));
                i += 3;
                continue;
            }
            out[i] = char(lead);  // the rest stands for itself
            ++i;
        }
    }

private:
    std::vector<char16_t> m_table;
};

const Utf8Fold &utf8Fold()
{
    static const Utf8Fold fold;
    return fold;
}

} // namespace

void ReportSearch::reset()
{
    m_report.reset();
    m_needle.clear();
    m_folded.clear();
    m_size = m_from = m_pos = m_end = 0;
    m_wrapped = true;
    m_head = {};
    m_tail = {};
}

void ReportSearch::start(std::shared_ptr<const Report> report, std::string needle, bool matchCase, std::size_t from)
{
    reset();
    needle.erase(std::remove_if(needle.begin(), needle.end(), [](char c) { return c == '\r' || c == '\n'; }),
                 needle.end());
    m_report = std::move(report);
    m_needle = std::move(needle);
    m_matchCase = matchCase;
    m_utf8 = m_report && m_report->isDecoded();
    if (!m_matchCase && m_utf8) {
        m_folded = m_needle;
        utf8Fold().fold(m_needle.data(), m_needle.size(), m_folded.data());
    } else if (!m_matchCase) {
        static const std::array<unsigned char, 256> table = foldTable();
        m_fold = table;
        m_folded = m_needle;
        for (char &c : m_folded)
            c = char(m_fold[static_cast<unsigned char>(c)]);
    }
    if (!m_report || m_needle.empty())
        return;
    m_size = m_report->textForm().size();
    m_from = std::min(from, m_size);
    m_pos = m_from;
    m_end = m_size;
    m_wrapped = false;
}

std::size_t ReportSearch::scan(std::size_t pos, std::size_t sliceEnd, std::size_t limit,
                               std::vector<std::uint32_t> &out) const
{
    const std::string_view text = m_report->textForm();
    const std::size_t n = m_needle.size();
    // A match may start before the slice's end and reach past it.
    const char *const base = text.data();
    const char *first = base + pos;
    const char *const last = base + std::min(limit, sliceEnd + n - 1);
    if (!m_matchCase && m_utf8) {
        // The slice folded, then the folded needle looked for in it: a
        // match begins at a character (so does the needle) and ends at one.
        if (last - first < std::ptrdiff_t(n))
            return std::max(sliceEnd, std::size_t(first - base));
        m_scratch.resize(std::size_t(last - first));
        utf8Fold().fold(first, m_scratch.size(), m_scratch.data());
        const char *const folded = m_scratch.data();
        std::size_t at = 0;
        const std::size_t size = m_scratch.size();
        while (size - at >= n) {
            const void *hit = memmem(folded + at, size - at, m_folded.data(), n);
            if (!hit)
                break;
            const std::size_t offset = std::size_t(first - base) + std::size_t(static_cast<const char *>(hit) - folded);
            if (offset >= sliceEnd)
                break;
            out.push_back(std::uint32_t(offset));
            at = std::size_t(static_cast<const char *>(hit) - folded) + n;
        }
        first += at;
    } else if (m_matchCase) {
        while (last - first >= std::ptrdiff_t(n)) {
            const void *hit = memmem(first, std::size_t(last - first), m_needle.data(), n);
            if (!hit)
                break;
            const auto at = static_cast<const char *>(hit);
            if (std::size_t(at - base) >= sliceEnd)
                break;
            out.push_back(std::uint32_t(at - base));
            first = at + n;
        }
    } else {
        const auto &fold = m_fold;
        const auto hash = [&fold](char c) { return std::size_t(fold[static_cast<unsigned char>(c)]); };
        const auto equal = [&fold](char a, char b) {
            return fold[static_cast<unsigned char>(a)] == fold[static_cast<unsigned char>(b)];
        };
        const std::boyer_moore_horspool_searcher searcher(m_folded.begin(), m_folded.end(), hash, equal);
        while (last - first >= std::ptrdiff_t(n)) {
            const char *at = std::search(first, last, searcher);
            if (at == last || std::size_t(at - base) >= sliceEnd)
                break;
            out.push_back(std::uint32_t(at - base));
            first = at + n;
        }
    }
    return std::max(sliceEnd, std::size_t(first - base));
}

bool ReportSearch::step(std::size_t budget)
{
    if (done())
        return true;
    budget = std::max<std::size_t>(1, budget);
    if (!m_wrapped) {
        m_pos = scan(m_pos, std::min(m_end, m_pos + budget), m_size, m_tail);
        if (m_pos < m_end)
            return false;
        m_wrapped = true;
        m_pos = 0;
        m_end = m_from;
        return done();
    }
    // Before from, a match must end where the first one from it on starts.
    const std::size_t limit = m_tail.empty() ? m_size : m_tail.front();
    m_pos = scan(m_pos, std::min(m_end, m_pos + budget), limit, m_head);
    return done();
}

std::size_t ReportSearch::firstFrom(std::size_t offset) const
{
    if (offset >= m_from)
        return m_head.size() + std::size_t(std::lower_bound(m_tail.begin(), m_tail.end(), offset) - m_tail.begin());
    return std::size_t(std::lower_bound(m_head.begin(), m_head.end(), offset) - m_head.begin());
}

TextPos ReportSearch::begin(std::size_t i) const { return positionOf(*m_report, offset(i)); }

TextPos ReportSearch::end(std::size_t i) const
{
    const TextPos b = begin(i);
    return {b.line, b.column + m_needle.size()};
}

std::size_t ReportSearch::offsetOf(const Report &report, TextPos p)
{
    if (report.empty())
        return 0;
    p = clampPos(report, p);
    return std::size_t(report.line(p.line).data() - report.textForm().data()) + p.column;
}

TextPos ReportSearch::positionOf(const Report &report, std::size_t offset)
{
    if (report.empty())
        return {};
    const char *const base = report.textForm().data();
    std::size_t lo = 0, hi = report.lineCount();
    // The last line that starts at or before offset.
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (std::size_t(report.line(mid).data() - base) <= offset)
            lo = mid;
        else
            hi = mid;
    }
    const std::size_t start = std::size_t(report.line(lo).data() - base);
    return clampPos(report, {lo, offset - start});
}

std::optional<std::string> ReportSearch::hexQuery(const QString &text)
{
    // Either every byte written as 0xNN, apart by blanks, or hex digits only
    // (blanks between whole bytes allowed), an even number of them.
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QStringList parts = trimmed.split(u' ', Qt::SkipEmptyParts);
    const bool prefixed = trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    QString digits;
    for (const QString &part : parts) {
        const bool hasPrefix = part.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
        if (hasPrefix != prefixed)
            return std::nullopt;
        const QString d = prefixed ? part.mid(2) : part;
        if (d.isEmpty() || d.size() % 2 != 0 || (prefixed && d.size() != 2))
            return std::nullopt;
        for (QChar c : d)
            if (!((c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f')))
                return std::nullopt;
        digits += d;
    }
    std::string bytes;
    for (qsizetype i = 0; i < digits.size(); i += 2)
        bytes.push_back(char(digits.mid(i, 2).toInt(nullptr, 16)));
    return bytes;
}

} // namespace qb
