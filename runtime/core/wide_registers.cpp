#include "runtime/core/wide_registers.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace core {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

bool has_avx() noexcept
{
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

__attribute__((target("avx"))) void zero_upper() noexcept
{
    _mm256_zeroupper();
}

} // namespace

void clean_wide_registers() noexcept
{
    if (has_avx())
        zero_upper();
}

bool wide_registers_in_use() noexcept
{
    // XGETBV with ECX = 1 reads which state components are in use, where the processor offers it.
    static const bool readable = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return has_avx() && __get_cpuid_count(0xD, 1, &a, &b, &c, &d) && (a & (1u << 2)) != 0;
    }();
    if (!readable)
        return false;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(1));
    return (lo & (1u << 2)) != 0; // bit 2: the upper halves of the 256-bit registers
}

#else

void clean_wide_registers() noexcept
{
}

bool wide_registers_in_use() noexcept
{
    return false;
}

#endif

} // namespace core
