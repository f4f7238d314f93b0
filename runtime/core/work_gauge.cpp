#include "runtime/core/work_gauge.h"

namespace core {
namespace work {

namespace {

std::atomic<work_gauge*> attached {nullptr};

} // namespace

work_gauge* attach(work_gauge* gauge) noexcept
{
    return attached.exchange(gauge, std::memory_order_acq_rel);
}

void begin_stage(int stage, std::uint64_t whole) noexcept
{
    if (work_gauge* g = attached.load(std::memory_order_acquire)) {
        // Whole and done first: a reader that sees the new stage never sees the last one's count.
        g->whole.store(whole, std::memory_order_relaxed);
        g->done.store(0, std::memory_order_relaxed);
        g->stage.store(stage, std::memory_order_release);
    }
}

void advance(std::uint64_t n) noexcept
{
    if (work_gauge* g = attached.load(std::memory_order_acquire))
        g->done.fetch_add(n, std::memory_order_relaxed);
}

bool stop_asked() noexcept
{
    const work_gauge* g = attached.load(std::memory_order_acquire);
    return g && g->stop.load(std::memory_order_relaxed);
}

} // namespace work
} // namespace core
