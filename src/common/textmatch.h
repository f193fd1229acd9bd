#pragma once
// Text matching and white space, the same everywhere in the program:
// containment is a case-sensitive byte search, an empty search string is
// never found and nothing is found in an empty text; white space is every
// byte from 0 to 32.

#include <string_view>

namespace qb {

inline bool contains(std::string_view text, std::string_view needle)
{
    return !needle.empty() && !text.empty() && text.find(needle) != std::string_view::npos;
}

inline bool isWhite(char c) { return static_cast<unsigned char>(c) <= 32; }

inline std::string_view trimLeft(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isWhite(s[i]))
        ++i;
    return s.substr(i);
}

inline std::string_view trimRight(std::string_view s)
{
    std::size_t n = s.size();
    while (n > 0 && isWhite(s[n - 1]))
        --n;
    return s.substr(0, n);
}

inline std::string_view trim(std::string_view s) { return trimRight(trimLeft(s)); }

} // namespace qb
