#pragma once
// A thread that is always joined, however the scope that started it is left: a std::thread
// still joinable at destruction would end the program.

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

} // namespace core
