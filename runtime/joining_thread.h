#pragma once
// Work split over threads: when a second thread pays, a thread that is always joined, and two
// halves of a piece of work run side by side.

#include "runtime/wide_registers.h"

#include <algorithm>
#include <cstddef>
#include <exception>
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

// A thread that is always joined, however the scope that started it is left: a std::thread
// still joinable at destruction would end the program. It starts from clean wide registers,
// whatever its starter's were.
class joining_thread {
public:
    template <class F>
    explicit joining_thread(F&& f)
        : t_([f = std::forward<F>(f)]() mutable {
            clean_wide_registers();
            f();
        })
    {
    }
    joining_thread() = default;
    joining_thread(joining_thread&&) = default;
    joining_thread& operator=(joining_thread&& other)
    {
        join();
        t_ = std::move(other.t_);
        return *this;
    }
    ~joining_thread() { join(); }

    void join()
    {
        if (t_.joinable())
            t_.join();
    }

private:
    std::thread t_;
};

// Runs `first` on a second thread and `second` on this one when `parallel`, else (or when no
// thread is to be had) both here, one after the other. What `first` throws on the second
// thread is thrown here once both are done, as it would be without a thread; left there, it
// would end the program.
template <class First, class Second> void on_two_threads(bool parallel, First first, Second second)
{
    std::exception_ptr thrown;
    joining_thread other;
    if (parallel) {
        try {
            other = joining_thread([&first, &thrown] {
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
