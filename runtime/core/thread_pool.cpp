#include "runtime/core/thread_pool.h"

#include <condition_variable>
#include <mutex>
#include <pthread.h>

namespace core {
namespace detail {

// A thread that runs one piece of work at a time and waits, parked, for the next. It lives as
// long as the process: a parked thread holds no memory worth giving back.
class parked_thread {
public:
    parked_thread()
    {
        std::thread t([this] { run(); });
        t.detach();
    }

    // Hands the thread its work; it must be parked.
    void give(std::function<void()> work)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            work_ = std::move(work);
            busy_ = true;
        }
        wake_.notify_one();
    }

    // Returns once the work handed last is done and let go.
    void wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return !busy_; });
    }

    parked_thread* next_parked = nullptr; // the pool's list

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return busy_; });
            std::function<void()> work = std::move(work_);
            work_ = nullptr;
            lock.unlock();
            clean_wide_registers();
            work();
            // What the work holds goes before its starter hears that it is done.
            work = nullptr;
            lock.lock();
            busy_ = false;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::function<void()> work_;
    bool busy_ = false;
};

namespace {

// The parked threads free for work, most recently used first: that one's core is likely idle.
struct thread_pool {
    std::mutex mutex;
    parked_thread* parked = nullptr;
};

thread_pool* fresh_pool()
{
    return new thread_pool;
}

// A child process has only the thread that forked: the parent's parked threads are not there,
// and a piece of work handed to one would never be done. The child starts with a pool of its
// own; the parent's (whose lock another thread may have held at the fork) is left as it was.
thread_pool*& pool()
{
    static thread_pool* current = [] {
        ::pthread_atfork(nullptr, nullptr, [] { pool() = fresh_pool(); });
        return fresh_pool();
    }();
    return current;
}

} // namespace
} // namespace detail

detail::parked_thread* pooled_work::start(std::function<void()> work)
{
    detail::thread_pool& p = *detail::pool();
    detail::parked_thread* t = nullptr;
    {
        std::lock_guard<std::mutex> lock(p.mutex);
        if (p.parked) {
            t = p.parked;
            p.parked = t->next_parked;
        }
    }
    if (!t)
        t = new detail::parked_thread;
    t->give(std::move(work));
    return t;
}

void pooled_work::join() noexcept
{
    if (!thread_)
        return;
    thread_->wait();
    detail::thread_pool& p = *detail::pool();
    std::lock_guard<std::mutex> lock(p.mutex);
    thread_->next_parked = p.parked;
    p.parked = std::exchange(thread_, nullptr);
}

} // namespace core
