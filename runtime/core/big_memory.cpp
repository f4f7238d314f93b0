#include "runtime/core/big_memory.h"

#include <cstdint>
#include <sys/mman.h>

namespace core {
namespace big_memory {

namespace {

constexpr std::size_t huge_page = std::size_t(2) << 20;
// Below this the general heap serves better: the rounding to whole huge pages would waste
// more than it saves.
constexpr std::size_t map_threshold = std::size_t(4) << 20;

std::size_t rounded(std::size_t bytes)
{
    return (bytes + huge_page - 1) / huge_page * huge_page;
}

} // namespace

void* allocate(std::size_t bytes)
{
    if (bytes < map_threshold)
        return ::operator new(bytes == 0 ? 1 : bytes);
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * huge_page)
        throw std::bad_alloc();
    const std::size_t length = rounded(bytes);
    void* m = ::mmap(nullptr, length + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        throw std::bad_alloc();
    // Trimmed to huge-page boundaries at both ends, so that all of it can use them where the
    // system gives them unasked.
    auto* raw = static_cast<char*>(m);
    const auto addr = reinterpret_cast<std::uintptr_t>(raw);
    const std::size_t head = (huge_page - addr % huge_page) % huge_page;
    if (head)
        ::munmap(raw, head);
    if (huge_page - head)
        ::munmap(raw + head + length, huge_page - head);
    return raw + head;
}

void release(void* p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    if (bytes < map_threshold)
        ::operator delete(p);
    else
        ::munmap(p, rounded(bytes));
}

std::size_t usable(std::size_t bytes) noexcept
{
    return bytes < map_threshold ? bytes : rounded(bytes);
}

bool is_mapped(std::size_t bytes) noexcept
{
    return bytes >= map_threshold;
}

std::size_t shrink(void* p, std::size_t bytes, std::size_t keep) noexcept
{
    if (!p || bytes < map_threshold)
        return bytes;
    // Never below the threshold, so that release still knows the memory as mapped.
    const std::size_t now = rounded(bytes);
    const std::size_t kept = rounded(keep < map_threshold ? map_threshold : keep);
    if (kept < now)
        ::munmap(static_cast<char*>(p) + kept, now - kept);
    return kept < now ? kept : bytes;
}

} // namespace big_memory
} // namespace core
