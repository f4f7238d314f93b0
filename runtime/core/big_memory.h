#pragma once
// Memory for the large arrays of the program (file text, rows, sort keys). Arrays of millions
// of rows are mapped on their own, so that freeing one gives its memory back to the system:
// at once, or, for the few last freed, when the system needs it (until then the next arrays
// take them over, which spares the cost of fresh pages). They are
// not asked for huge pages: a fresh huge page is far dearer to get than the small pages it
// replaces wherever the kernel must compact memory for it or a virtual machine's host must
// supply it anew (there, 600 MB took 1.6 s in huge pages against 0.2 s in small ones), and
// the time saved on the memory's translation is much less.

#include <cstddef>
#include <limits>
#include <new>
#include <utility>

namespace core {

namespace big_memory {

// At least `bytes` bytes, aligned for any type, holding anything until written; throws
// std::bad_alloc when there are none.
void* allocate(std::size_t bytes);
// Gives back what allocate(bytes) gave, with the same `bytes`.
void release(void* p, std::size_t bytes) noexcept;
// How many bytes allocate(bytes) really reserves: what the array may grow into for free.
std::size_t usable(std::size_t bytes) noexcept;
// True when allocate(bytes) maps the memory on its own.
bool is_mapped(std::size_t bytes) noexcept;
// `length` bytes of fresh address space, reading as zeros, from a multiple of 2 MB (where the
// system may give whole huge pages); writable when asked. Null when there is none; given back
// with munmap. For mappings of other kinds laid over it, as well as for allocate().
void* map_aligned(std::size_t length, bool writable) noexcept;
// Gives back at once the arrays kept after freeing: for a program about to wait for its user,
// who may not ask for more for a long time.
void give_back_freed() noexcept;
// Gives back the part of a mapped allocation of `bytes` beyond `keep`, where whole huge pages
// allow it; returns the size to name from now on in release and shrink. Heap memory stays.
std::size_t shrink(void* p, std::size_t bytes, std::size_t keep) noexcept;

} // namespace big_memory

// A standard allocator over big_memory, for std::vector.
template <class T> struct big_allocator {
    using value_type = T;

    big_allocator() noexcept = default;
    template <class U> big_allocator(const big_allocator<U>&) noexcept { }

    T* allocate(std::size_t n)
    {
        if (n > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(big_memory::allocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { big_memory::release(p, n * sizeof(T)); }

    // Elements made without a value are left as they are (default-initialised): a vector
    // sized for results about to be written is not cleared first. Only for types whose every
    // element is written before it is read.
    template <class U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }

    template <class U> bool operator==(const big_allocator<U>&) const noexcept { return true; }
    template <class U> bool operator!=(const big_allocator<U>&) const noexcept { return false; }
};

} // namespace core
