#pragma once
// A thread that is always joined, however the scope that started it is left: a std::thread
// still joinable at destruction would end the program.

#include <system_error>
#include <thread>
#include <utility>

namespace core {

class joining_thread {
public:
    template <class F>
    explicit joining_thread(F&& f)
        : t_(std::forward<F>(f))
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
// thread is to be had) both here, one after the other.
template <class First, class Second> void on_two_threads(bool parallel, First first, Second second)
{
    joining_thread other;
    if (parallel) {
        try {
            other = joining_thread(first);
        } catch (const std::system_error&) {
            parallel = false;
        }
    }
    if (!parallel)
        first();
    second();
    other.join();
}

} // namespace core
