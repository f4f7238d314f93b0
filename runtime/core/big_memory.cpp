#include "runtime/core/big_memory.h"

#include <cstdint>
#include <mutex>
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

// Arrays just freed, kept for the next ones: a page that a process has written once costs
// nothing to write again, where a fresh one costs the kernel a fault and clearing it (on a
// virtual machine, more than anything the program then does with it). A load's spans, freed
// once its rows are sorted, become the next load's spans or a compare's lists. They are kept
// as pages the system may take back whenever it needs them, and only up to a bound.
class freed_arrays {
public:
    // Takes `length` bytes from what is kept into [to, to + length), moving whole arrays in;
    // returns how many bytes from `to` on it filled.
    std::size_t fill(char* to, std::size_t length) noexcept
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::size_t filled = 0;
        for (piece& p : pieces_) {
            if (!p.at || p.length > length - filled)
                continue;
            // Moves the page tables, not the pages: aligned to 2 MB, a table at a time.
            if (::mremap(p.at, p.length, p.length, MREMAP_MAYMOVE | MREMAP_FIXED, to + filled) == MAP_FAILED)
                continue;
            filled += p.length;
            kept_ -= p.length;
            p = {};
        }
        return filled;
    }

    // Keeps the array at `at` of `length` bytes; false when it is over the bound, and the
    // caller gives it back.
    bool keep(char* at, std::size_t length) noexcept
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (kept_ + length > bound)
            return false;
        for (piece& p : pieces_) {
            if (p.at)
                continue;
            ::madvise(at, length, MADV_FREE);
            p = {at, length};
            kept_ += length;
            return true;
        }
        return false;
    }

    // Gives back all that is kept: the address space may be short.
    bool drop() noexcept
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const bool any = kept_ != 0;
        for (piece& p : pieces_) {
            if (p.at)
                ::munmap(p.at, p.length);
            p = {};
        }
        kept_ = 0;
        return any;
    }

private:
    static constexpr std::size_t bound = std::size_t(256) << 20;
    struct piece {
        char* at = nullptr;
        std::size_t length = 0;
    };
    std::mutex mutex_;
    piece pieces_[8];
    std::size_t kept_ = 0;
};

freed_arrays& freed()
{
    static auto* arrays = new freed_arrays; // never destroyed: arrays are freed until the end
    return *arrays;
}

} // namespace

void* allocate(std::size_t bytes)
{
    if (bytes < map_threshold)
        return ::operator new(bytes == 0 ? 1 : bytes);
    if (bytes > std::numeric_limits<std::size_t>::max() - 2 * huge_page)
        throw std::bad_alloc();
    const std::size_t length = rounded(bytes);
    void* m = map_aligned(length, true);
    if (!m && freed().drop())
        m = map_aligned(length, true);
    if (!m)
        throw std::bad_alloc();
    // Arrays kept after freeing move in whole: they are aligned the same way.
    freed().fill(static_cast<char*>(m), length);
    return m;
}

void* map_aligned(std::size_t length, bool writable) noexcept
{
    if (length > std::numeric_limits<std::size_t>::max() - huge_page)
        return nullptr;
    const int access = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* m = ::mmap(nullptr, length + huge_page, access, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        return nullptr;
    // Trimmed to huge-page boundaries at both ends.
    auto* raw = static_cast<char*>(m);
    const std::size_t head = (huge_page - reinterpret_cast<std::uintptr_t>(raw) % huge_page) % huge_page;
    if (head)
        ::munmap(raw, head);
    ::munmap(raw + head + length, huge_page - head);
    return raw + head;
}

void release(void* p, std::size_t bytes) noexcept
{
    if (!p)
        return;
    if (bytes < map_threshold)
        ::operator delete(p);
    else if (!freed().keep(static_cast<char*>(p), rounded(bytes)))
        ::munmap(p, rounded(bytes));
}

void give_back_freed() noexcept
{
    freed().drop();
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
