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

inline bool valid_utf8(std::string_view s)
{
    return utf8_valid_until(reinterpret_cast<const unsigned char*>(s.data()), 0, s.size()) == s.size();
}

} // namespace core
