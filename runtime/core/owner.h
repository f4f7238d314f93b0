#pragma once
// Every C handle the core holds has one owner, which frees it when it goes: moved, never copied.

#include <unistd.h>

#include <utility>

namespace core {

// A handle of `Kind::handle`, freed by `Kind::free` unless it is `Kind::none()`.
template <class Kind> class owner {
public:
    using handle = typename Kind::handle;

    owner() noexcept = default;
    explicit owner(handle h) noexcept
        : h_(h)
    {
    }
    ~owner() { reset(); }
    owner(owner&& other) noexcept
        : h_(std::exchange(other.h_, Kind::none()))
    {
    }
    owner& operator=(owner&& other) noexcept
    {
        reset(std::exchange(other.h_, Kind::none()));
        return *this;
    }
    owner(const owner&) = delete;
    owner& operator=(const owner&) = delete;

    handle get() const noexcept { return h_; }
    // False when it owns nothing, as when the call that made the handle failed.
    explicit operator bool() const noexcept { return h_ != Kind::none(); }
    // Frees what it owns and takes `h` instead.
    void reset(handle h = Kind::none()) noexcept
    {
        if (h_ != Kind::none())
            Kind::free(h_);
        h_ = h;
    }

private:
    handle h_ = Kind::none();
};

struct file_descriptor_kind {
    using handle = int;
    static int none() noexcept { return -1; }
    static void free(int fd) noexcept { ::close(fd); }
};
// An open file descriptor, closed when it goes.
using unique_fd = owner<file_descriptor_kind>;

} // namespace core
