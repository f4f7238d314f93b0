#include "runtime/core/utf8.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TOVIK_WIDE_UTF8 1
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

std::size_t valid_until_bytewise(const unsigned char* s, std::size_t begin, std::size_t n)
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

#if defined(TOVIK_WIDE_UTF8)

// 32 bytes at a time with 256-bit vectors, by three tables of what a byte's high nibble, the
// byte before's high nibble and the byte before's low nibble allow, and a check that the second
// and third continuation bytes of longer sequences are there (the "lookup" method of Keiser and
// Lemire, 2021). It only says whether a block holds an error, not where.
namespace wide {

constexpr std::uint8_t too_short = 1 << 0; // a lead byte not followed by a continuation byte
constexpr std::uint8_t too_long = 1 << 1; // a continuation byte after an ASCII byte
constexpr std::uint8_t overlong_3 = 1 << 2;
constexpr std::uint8_t too_large = 1 << 3;
constexpr std::uint8_t surrogate = 1 << 4;
constexpr std::uint8_t overlong_2 = 1 << 5;
constexpr std::uint8_t too_large_1000 = 1 << 6;
constexpr std::uint8_t overlong_4 = 1 << 6;
constexpr std::uint8_t two_conts = 1 << 7; // two continuation bytes in a row
constexpr std::uint8_t carry = too_short | too_long | two_conts;

bool usable()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

__attribute__((target("avx2"))) __m256i nibble_table(const std::uint8_t (&t)[16])
{
    const __m128i half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t));
    return _mm256_broadcastsi128_si256(half);
}

// Where the first 32-byte block from `begin` on that holds an error starts, or where fewer than
// 32 bytes are left; the bytes before `begin` are taken for ASCII. Every byte before the result
// is part of a well-formed sequence, except that the last sequence may run on past it.
__attribute__((target("avx2"))) std::size_t skip_valid_blocks(const unsigned char* s, std::size_t begin, std::size_t n)
{
    static const std::uint8_t lead_high[16] = {too_long, too_long, too_long, too_long, too_long, too_long, too_long,
        too_long, two_conts, two_conts, two_conts, two_conts, too_short | overlong_2, too_short,
        too_short | overlong_3 | surrogate, too_short | too_large | too_large_1000 | overlong_4};
    constexpr std::uint8_t big = carry | too_large | too_large_1000;
    static const std::uint8_t lead_low[16] = {carry | overlong_3 | overlong_2 | overlong_4, carry | overlong_2, carry,
        carry, carry | too_large, big, big, big, big, big, big, big, big, big | surrogate, big, big};
    constexpr std::uint8_t cont = too_long | overlong_2 | two_conts;
    static const std::uint8_t next_high[16] = {too_short, too_short, too_short, too_short, too_short, too_short,
        too_short, too_short, cont | overlong_3 | too_large_1000 | overlong_4, cont | overlong_3 | too_large,
        cont | surrogate | too_large, cont | surrogate | too_large, too_short, too_short, too_short, too_short};
    const __m256i t_lead_high = nibble_table(lead_high);
    const __m256i t_lead_low = nibble_table(lead_low);
    const __m256i t_next_high = nibble_table(next_high);
    const __m256i low_nibble = _mm256_set1_epi8(0x0F);
    const __m256i third_from = _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80));
    const __m256i fourth_from = _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80));
    const __m256i high_bit = _mm256_set1_epi8(static_cast<char>(0x80));
    __m256i before = _mm256_setzero_si256();
    std::size_t p = begin;
    for (; n - p >= 32; p += 32) {
        const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + p));
        // The last 16 bytes of the block before and the first 16 of this one, to shift from.
        const __m256i joined = _mm256_permute2x128_si256(before, in, 0x21);
        const __m256i prev1 = _mm256_alignr_epi8(in, joined, 15);
        const __m256i prev2 = _mm256_alignr_epi8(in, joined, 14);
        const __m256i prev3 = _mm256_alignr_epi8(in, joined, 13);
        const __m256i a = _mm256_shuffle_epi8(t_lead_high, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), low_nibble));
        const __m256i b = _mm256_shuffle_epi8(t_lead_low, _mm256_and_si256(prev1, low_nibble));
        const __m256i c = _mm256_shuffle_epi8(t_next_high, _mm256_and_si256(_mm256_srli_epi16(in, 4), low_nibble));
        const __m256i special = _mm256_and_si256(_mm256_and_si256(a, b), c);
        // Bytes two after a three- or four-byte lead, or three after a four-byte one, must be
        // continuation bytes: exactly there two continuation bytes in a row are right.
        const __m256i must_continue = _mm256_and_si256(
            _mm256_or_si256(_mm256_subs_epu8(prev2, third_from), _mm256_subs_epu8(prev3, fourth_from)), high_bit);
        const __m256i error = _mm256_xor_si256(must_continue, special);
        if (!_mm256_testz_si256(error, error))
            return p;
        before = in;
    }
    return p;
}

} // namespace wide

#endif

} // namespace

std::size_t utf8_valid_until(const unsigned char* s, std::size_t begin, std::size_t n)
{
    std::size_t from = begin;
#if defined(TOVIK_WIDE_UTF8)
    if (n - begin >= 64 && wide::usable()) {
        const std::size_t p = wide::skip_valid_blocks(s, begin, n);
        // Byte by byte from the start of the character that holds the byte before p: where the
        // blocks stopped at an error this finds where it starts, else it checks the rest.
        from = p;
        if (p > begin) {
            from = p - 1;
            for (int back = 0; back < 3 && from > begin && (s[from] & 0xC0) == 0x80; ++back)
                --from;
        }
    }
#endif
    return valid_until_bytewise(s, from, n);
}

std::size_t utf8_invalid_run(const unsigned char* s, std::size_t i, std::size_t n)
{
    const utf8_lead l = lead_of(s[i]);
    return l.len != 0 ? fitting_bytes(s, i, n, l) : 1;
}

} // namespace core
