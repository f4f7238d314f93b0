#pragma once
// How far the work the window waits on has come, and whether the user asked it to stop.
//
// Long loops of the core report here a stretch at a time (a piece of a file, a chunk of a
// sort, a piece of a list written). The window attaches a gauge while it waits and reads it
// from its own thread; with none attached, as in a bench, each report costs one load.
#include <atomic>
#include <cstdint>

namespace core {

struct work_gauge {
    // The stage the work is in, and how much of that stage's whole is done; a stage starts
    // from nothing done.
    std::atomic<int> stage {0};
    std::atomic<std::uint64_t> done {0};
    std::atomic<std::uint64_t> whole {0};
    // Set by the window when the user cancels; the work stops at its next report.
    std::atomic<bool> stop {false};
};

namespace work {

// Makes `gauge` the one the work reports to (null: none) and returns the one attached before.
work_gauge* attach(work_gauge* gauge) noexcept;
// Starts `stage`, with `whole` units to do.
void begin_stage(int stage, std::uint64_t whole) noexcept;
// Counts `n` more units of the stage done.
void advance(std::uint64_t n) noexcept;
// True once the user asked the work to stop.
bool stop_asked() noexcept;
// The reason work that stopped for the user gives; the window tells nothing of it.
inline constexpr const char* cancelled = "cancelled";

} // namespace work
} // namespace core
