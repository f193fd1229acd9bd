#pragma once
// A plain reading of the settings file, written out line by line as the
// reading rules in settings/profilefile.h state them, to check the real one.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qbfuzz {

inline std::string_view refTrim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

inline bool refSameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = char(y + 32);
        if (x != y)
            return false;
    }
    return true;
}

struct RefLine
{
    enum Kind { Other, Section, Key } kind = Other;
    std::string name;
    std::string rawValue;
};

inline std::vector<RefLine> refLines(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::vector<RefLine> out;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        RefLine r;
        const std::string_view t = refTrim(line);
        if (t.empty() || t.front() == ';') {
        } else if (t.front() == '[' && t.find(']') != std::string_view::npos) {
            r.kind = RefLine::Section;
            r.name = refTrim(t.substr(1, t.find(']') - 1));
        } else if (const std::size_t eq = line.find('='); eq != std::string_view::npos) {
            r.kind = RefLine::Key;
            r.name = refTrim(line.substr(0, eq));
            r.rawValue = line.substr(eq + 1);
        }
        out.push_back(std::move(r));
    }
    return out;
}

inline std::string refValue(std::string_view raw)
{
    std::string_view v = refTrim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, 2047));
}

inline std::optional<std::string> refLookUp(std::string_view text, std::string_view section, std::string_view key)
{
    bool inSection = false;
    for (const RefLine &l : refLines(text)) {
        if (l.kind == RefLine::Section) {
            if (inSection)
                return std::nullopt;
            inSection = refSameName(l.name, section);
        } else if (l.kind == RefLine::Key && inSection && refSameName(l.name, key)) {
            return refValue(l.rawValue);
        }
    }
    return std::nullopt;
}

// Section and key names that stand in the file, in order.
inline std::vector<std::pair<std::string, std::string>> refNames(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> names;
    std::string section;
    bool any = false;
    for (const RefLine &l : refLines(text)) {
        if (l.kind == RefLine::Section) {
            section = l.name;
            any = true;
        } else if (l.kind == RefLine::Key && any) {
            names.emplace_back(section, l.name);
        }
    }
    return names;
}

// The integer rule, by way of the standard number parser.
inline std::optional<int> refInteger(std::string_view v)
{
    const auto parse = [](std::string_view digits, int base, bool negative) -> std::optional<int> {
        if (digits.empty())
            return std::nullopt;
        unsigned long long n = 0;
        for (char c : digits) {
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return std::nullopt;
            if (d >= base)
                return std::nullopt;
            n = n * unsigned(base) + unsigned(d);
            if (n > 0x80000000ull)
                return std::nullopt;
        }
        const long long value = negative ? -static_cast<long long>(n) : static_cast<long long>(n);
        if (value < -2147483648LL || value > 2147483647LL)
            return std::nullopt;
        return int(value);
    };
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X'))
        return parse(v.substr(2), 16, false);
    v = v.substr(std::min(v.size(), v.find_first_not_of(" \t")));
    bool negative = false;
    if (!v.empty() && (v[0] == '+' || v[0] == '-')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    if (!v.empty() && (v[0] == '$' || v[0] == 'x' || v[0] == 'X'))
        return parse(v.substr(1), 16, negative);
    return parse(v, 10, negative);
}

} // namespace qbfuzz
