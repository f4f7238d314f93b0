#include "runtime/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {

namespace {

// What a lead byte above 0x7F asks for: the length of its sequence (0: it starts none) and the
// range of the byte after it. Well-formed means shortest form, no surrogates, nothing above
// U+10FFFF, which only the second byte can break.
struct utf8_lead {
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
};

utf8_lead lead_of(unsigned char c)
{
    utf8_lead l;
    if (c >= 0xC2 && c <= 0xDF) {
        l.len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        l.len = 3;
        l.lo = c == 0xE0 ? 0xA0 : 0x80;
        l.hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        l.len = 4;
        l.lo = c == 0xF0 ? 0x90 : 0x80;
        l.hi = c == 0xF4 ? 0x8F : 0xBF;
    }
    return l;
}

// How many bytes from s[i] on fit the sequence its lead byte `l` starts: the lead byte and the
// continuation bytes that follow it as they should, before n.
std::size_t fitting_bytes(const unsigned char* s, std::size_t i, std::size_t n, const utf8_lead& l)
{
    std::size_t k = 1;
    while (k < l.len && i + k < n) {
        const unsigned char b = s[i + k];
        if (k == 1 ? (b < l.lo || b > l.hi) : (b & 0xC0) != 0x80)
            break;
        ++k;
    }
    return k;
}

// The length of the well-formed sequence starting at s[i], or 0 when it is not one.
std::size_t utf8_sequence(const unsigned char* s, std::size_t i, std::size_t n)
{
    if (s[i] < 0x80)
        return 1;
    const utf8_lead l = lead_of(s[i]);
    return l.len != 0 && fitting_bytes(s, i, n, l) == l.len ? l.len : 0;
}

// The offset of the first byte of s[i, n) that is not ASCII, or n.
std::size_t skip_ascii(const unsigned char* s, std::size_t i, std::size_t n)
{
#if defined(__SSE2__)
    while (n - i >= 16) {
        const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        if (mask)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && s[i] < 0x80)
        ++i;
    return i;
}

} // namespace

std::size_t utf8_valid_until(const unsigned char* s, std::size_t begin, std::size_t n)
{
    std::size_t i = begin;
    for (;;) {
        i = skip_ascii(s, i, n);
        if (i >= n)
            return n;
        const std::size_t len = utf8_sequence(s, i, n);
        if (len == 0)
            return i;
        i += len;
    }
}

std::size_t utf8_invalid_run(const unsigned char* s, std::size_t i, std::size_t n)
{
    const utf8_lead l = lead_of(s[i]);
    return l.len != 0 ? fitting_bytes(s, i, n, l) : 1;
}

} // namespace core
