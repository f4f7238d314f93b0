#pragma once
// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.

#include <cstddef>
#include <string_view>

namespace core {

// The length of the longest well-formed prefix of s[begin, n), counted from s.
std::size_t utf8_valid_until(const unsigned char* s, std::size_t begin, std::size_t n);

// How many bytes one U+FFFD replaces at an ill-formed s[i]: the lead byte and the continuation
// bytes that still fitted it (the "maximal subpart"), at least one.
std::size_t utf8_invalid_run(const unsigned char* s, std::size_t i, std::size_t n);

// The first offset from i on, before n, whose byte does not continue a character: where text
// cut at i takes up again with a whole character; n when there is none.
inline std::size_t utf8_char_start(const unsigned char* s, std::size_t i, std::size_t n)
{
    while (i < n && (s[i] & 0xC0) == 0x80)
        ++i;
    return i;
}

inline bool valid_utf8(std::string_view s)
{
    return utf8_valid_until(reinterpret_cast<const unsigned char*>(s.data()), 0, s.size()) == s.size();
}

} // namespace core
