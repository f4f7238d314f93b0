#pragma once
// A seam: a piece of behaviour that a test can stand in for. While the seam is empty the real
// behaviour holds; a test puts its stand-in in place for as long as the seam_override it gets
// back lives, so a test that stops half-way still leaves the seam as it found it.
//
// Each seam is one object, reached through a function of the file that owns the behaviour, so
// that the program and its tests share it across library boundaries. A seam may be read from
// any thread.

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace core {

template <class T> class seam;

// Puts back, when it ends, what was in place when it began. Moving it hands that duty on.
template <class T> class [[nodiscard]] seam_override {
public:
    seam_override(seam_override&& other) noexcept
        : seam_(std::exchange(other.seam_, nullptr))
        , previous_(std::move(other.previous_))
    {
    }
    seam_override(const seam_override&) = delete;
    seam_override& operator=(const seam_override&) = delete;
    // Assigning would end one override out of its turn; a new one is made instead.
    seam_override& operator=(seam_override&&) = delete;
    ~seam_override()
    {
        if (seam_)
            seam_->put(std::move(previous_));
    }

private:
    friend class seam<T>;
    seam_override(seam<T>& s, std::shared_ptr<const T> previous)
        : seam_(&s)
        , previous_(std::move(previous))
    {
    }

    seam<T>* seam_;
    std::shared_ptr<const T> previous_;
};

template <class T> class seam {
public:
    seam() = default;
    seam(const seam&) = delete;
    seam& operator=(const seam&) = delete;

    // The stand-in in place, or null while the real behaviour holds.
    std::shared_ptr<const T> stand_in() const
    {
        // A shared copy, so that a stand-in in use on one thread outlives its override ending
        // on another.
        std::lock_guard<std::mutex> lock(mutex_);
        return current_;
    }

    // Puts `stand_in` in place (std::nullopt: the real behaviour) until the override ends.
    // Overrides of one seam end in the reverse order they began.
    [[nodiscard]] seam_override<T> replace(std::optional<T> stand_in)
    {
        std::shared_ptr<const T> next;
        if (stand_in)
            next = std::make_shared<const T>(std::move(*stand_in));
        return seam_override<T>(*this, put(std::move(next)));
    }

private:
    friend class seam_override<T>;

    // Puts `next` in place and returns what it displaced, to be let go outside the lock.
    std::shared_ptr<const T> put(std::shared_ptr<const T> next)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        current_.swap(next);
        return next;
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const T> current_;
};

} // namespace core
