#include "runtime/core/leased_file.h"

#include "runtime/core/big_memory.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif

namespace core {

namespace {

// The signal that tells a lease must be let go: a real-time one, which carries the descriptor
// and is queued rather than merged. Should the queue overflow, SIGIO comes instead.
int lease_signal()
{
    return SIGRTMIN + 5;
}

std::size_t page_size()
{
    static const auto size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return size;
}

std::size_t whole_pages(std::size_t bytes)
{
    return (bytes + page_size() - 1) / page_size() * page_size();
}

class leased_block;

// The blocks mapped under a lease, and the watcher thread that secures them when a lease breaks.
struct lease_watch {
    std::mutex mutex;
    std::vector<leased_block*> blocks;
    pid_t pid = 0; // the process whose watcher runs: a forked child starts its own
};

lease_watch& the_watch()
{
    // Never destroyed: a block may outlive the statics of a program that ends.
    static auto* watch = new lease_watch;
    return *watch;
}

// Where the signal handler tells the watcher which descriptor's lease broke (-1: any).
std::atomic<int> wake_write {-1};

class leased_block final : public text_block {
public:
    explicit leased_block(int fd)
        : fd_(fd)
    {
    }
    leased_block(const leased_block&) = delete;
    leased_block& operator=(const leased_block&) = delete;
    ~leased_block() override
    {
        {
            lease_watch& watch = the_watch();
            std::lock_guard<std::mutex> lock(watch.mutex);
            // Not there when registering it ran out of memory.
            const auto at = std::find(watch.blocks.begin(), watch.blocks.end(), this);
            if (at != watch.blocks.end())
                watch.blocks.erase(at);
        }
        ::close(fd_); // lets go of the lease, if it is still held
        if (data_)
            ::munmap(data_, length_);
    }
    const char* data() const override { return data_; }
    std::size_t size() const override { return size_; }

    int fd() const { return fd_; }

    // Called with the watch's mutex held, once the mapping is in place; false when the lease
    // broke before it was.
    bool set_mapping(char* data, std::size_t size, std::size_t length)
    {
        if (broken_)
            return false;
        data_ = data;
        size_ = size;
        length_ = length;
        return true;
    }

    // The lease broke: copies the text into memory of the process's own, puts the copy where
    // the mapping was, then lets the lease go. Called by the watcher with the mutex held.
    void secure() noexcept
    {
        if (broken_ || copied_)
            return;
        if (!data_) {
            // Not mapped yet: the loader sees this and reads the file instead.
            broken_ = true;
            ::fcntl(fd_, F_SETLEASE, F_UNLCK);
            return;
        }
        void* copy = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (copy == MAP_FAILED)
            return; // the writer waits out the kernel's lease time; nothing better is left
        std::memcpy(copy, data_, size_);
        ::mprotect(copy, length_, PROT_READ);
        // One step, so that a thread reading the text meanwhile finds either the file's bytes or
        // the copy's, never a hole.
        if (::mremap(copy, length_, length_, MREMAP_MAYMOVE | MREMAP_FIXED, data_) == MAP_FAILED) {
            ::munmap(copy, length_);
            return;
        }
        copied_ = true;
        ::fcntl(fd_, F_SETLEASE, F_UNLCK);
    }

private:
    int fd_;
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t length_ = 0; // of the mapping, the page of zeros after the text included
    bool broken_ = false;
    bool copied_ = false;
};

void on_lease_break(int signal, siginfo_t* info, void*)
{
    const int saved = errno;
    const int fd = signal == SIGIO ? -1 : info->si_fd;
    const int out = wake_write.load();
    if (out >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(out, &fd, sizeof fd);
    }
    errno = saved;
}

void* watch_leases(void* arg)
{
    const int in = static_cast<int>(reinterpret_cast<std::intptr_t>(arg));
    for (;;) {
        int fd = -1;
        const ssize_t r = ::read(in, &fd, sizeof fd);
        if (r < 0 && errno == EINTR)
            continue;
        if (r != sizeof fd)
            return nullptr;
        lease_watch& watch = the_watch();
        std::lock_guard<std::mutex> lock(watch.mutex);
        for (leased_block* block : watch.blocks) {
            if (fd < 0 || block->fd() == fd)
                block->secure();
        }
    }
}

// Starts this process's watcher unless it runs; false when it cannot. The mutex is held.
bool watcher_runs(lease_watch& watch)
{
    if (watch.pid == ::getpid())
        return true;
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0)
        return false;
    struct sigaction action { };
    action.sa_sigaction = &on_lease_break;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    pthread_attr_t attributes;
    pthread_t thread;
    bool started = ::pthread_attr_init(&attributes) == 0;
    if (started) {
        ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        // It only copies and calls the system: a small stack leaves the address space to the text.
        ::pthread_attr_setstacksize(&attributes, std::size_t(64) << 10);
        started = ::pthread_create(
                      &thread, &attributes, &watch_leases, reinterpret_cast<void*>(static_cast<std::intptr_t>(wake[0])))
            == 0;
        ::pthread_attr_destroy(&attributes);
    }
    if (!started || ::sigaction(lease_signal(), &action, nullptr) != 0 || ::sigaction(SIGIO, &action, nullptr) != 0) {
        ::close(wake[1]); // a watcher that started ends at the pipe's end
        if (!started)
            ::close(wake[0]);
        return false;
    }
    // A child forked from a process with a watcher keeps the parent's pipe but not its thread.
    const int old = wake_write.exchange(wake[1]);
    if (old >= 0)
        ::close(old);
    watch.pid = ::getpid();
    return true;
}

} // namespace

std::shared_ptr<const text_block> map_leased(int fd, std::size_t min_size)
{
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    std::shared_ptr<leased_block> block;
    lease_watch& watch = the_watch();
    {
        std::lock_guard<std::mutex> lock(watch.mutex);
        if (!watcher_runs(watch)) {
            ::close(own);
            return nullptr;
        }
        try {
            block = std::make_shared<leased_block>(own);
            watch.blocks.push_back(block.get());
        } catch (const std::bad_alloc&) {
            if (!block)
                ::close(own);
            return nullptr; // a block made closes its descriptor itself
        }
    }
    // Registered first, so that a lease broken at once is seen.
    if (::fcntl(own, F_SETSIG, lease_signal()) != 0 || ::fcntl(own, F_SETLEASE, F_RDLCK) != 0)
        return nullptr;
    // Measured under the lease: nobody can change the size now.
    struct stat st;
    if (::fstat(own, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0
        || static_cast<std::size_t>(st.st_size) < min_size)
        return nullptr;
    const auto size = static_cast<std::size_t>(st.st_size);
    const std::size_t length = whole_pages(size) + page_size();
    // From a multiple of 2 MB: there the kernel may map the page cache's huge pages of the file
    // whole, one entry each instead of 512.
    void* region = big_memory::map_aligned(length, false);
    if (!region)
        return nullptr;
    if (::mmap(region, whole_pages(size), PROT_READ, MAP_PRIVATE | MAP_FIXED, own, 0) == MAP_FAILED) {
        ::munmap(region, length);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(watch.mutex);
    if (!block->set_mapping(static_cast<char*>(region), size, length)) {
        ::munmap(region, length);
        return nullptr;
    }
    return block;
}

bool bring_in(const text_block& mapped, std::size_t offset, std::size_t count)
{
    if (count == 0)
        return true;
    return ::madvise(const_cast<char*>(mapped.data()) + offset, count, MADV_POPULATE_READ) == 0;
}

} // namespace core
