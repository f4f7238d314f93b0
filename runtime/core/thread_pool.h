#pragma once
// The pool of parked threads that the core's work is split over: whether a second thread is
// worth starting, work handed to a thread of the pool and always joined, and two halves of a
// piece of work run side by side.

#include "runtime/core/wide_registers.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace core {

// How many threads the machine runs at once, at least one. The system is asked once; every
// choice of how many threads to start goes by this answer.
inline unsigned hardware_threads()
{
    static const unsigned n = std::max(1u, std::thread::hardware_concurrency());
    return n;
}

// Whether work of `size` is worth a second thread: it reaches `threshold`, below which starting
// a thread costs more than it saves, and the machine has a second core to run it.
inline bool second_thread_pays(std::size_t size, std::size_t threshold)
{
    return size >= threshold && hardware_threads() > 1;
}

namespace detail {
class parked_thread;
} // namespace detail

// Work on a thread of the pool, always joined however the scope that started it is left:
// a std::thread still joinable at destruction would end the program. The work runs from clean
// wide registers, whatever its starter's were, and must not throw.
//
// The threads are kept parked between pieces of work rather than started for each. A thread
// just started may be placed by the system beside the one that started it, and on two cores it
// then waited there a millisecond or more (once, twelve) before it was moved to the idle one; a
// parked thread that is woken goes to an idle core at once.
class pooled_work {
public:
    // Starts `f` on a parked thread, or on a new one when none is free; throws std::system_error
    // when no thread is to be had, as std::thread does.
    template <class F>
    explicit pooled_work(F&& f)
        : thread_(start([f = std::forward<F>(f)]() mutable noexcept { f(); }))
    {
    }
    pooled_work() = default;
    pooled_work(pooled_work&& other) noexcept
        : thread_(std::exchange(other.thread_, nullptr))
    {
    }
    pooled_work& operator=(pooled_work&& other) noexcept
    {
        join();
        thread_ = std::exchange(other.thread_, nullptr);
        return *this;
    }
    pooled_work(const pooled_work&) = delete;
    pooled_work& operator=(const pooled_work&) = delete;
    ~pooled_work() { join(); }

    // Waits until the work is done; the thread goes back to be parked.
    void join() noexcept;

private:
    static detail::parked_thread* start(std::function<void()> work);

    detail::parked_thread* thread_ = nullptr;
};

// Runs `first` on a second thread and `second` on this one when `parallel`, else (or when no
// thread is to be had) both here, one after the other. What `first` throws on the second
// thread is thrown here once both are done, as it would be without a thread; left there, it
// would end the program.
template <class First, class Second> void on_two_threads(bool parallel, First first, Second second)
{
    std::exception_ptr thrown;
    pooled_work other;
    if (parallel) {
        try {
            other = pooled_work([&first, &thrown] {
                try {
                    first();
                } catch (...) {
                    thrown = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            parallel = false;
        }
    }
    clean_wide_registers();
    if (!parallel)
        first();
    second();
    other.join();
    if (thrown)
        std::rethrow_exception(thrown);
}

} // namespace core
