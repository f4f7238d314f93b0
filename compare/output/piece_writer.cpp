#include "compare/output/piece_writer.h"

#include "runtime/core/thread_pool.h"
#include "runtime/core/work_gauge.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

namespace core {

namespace {

// Rows per piece: about a megabyte of a typical list, small enough to stay in cache between
// being formatted and being written.
constexpr long piece_rows = rows_per_piece;

// One piece's bytes on their way from a helper to the stream. Slot i carries pieces i, i + ring,
// i + 2 ring, ...; `turn` is the piece it may hold next. A helper writes its piece's size at
// every row, so each slot has a cache line of its own rather than one shared with the slot that
// another helper fills at the same time.
struct alignas(64) slot {
    byte_piece bytes;
    long turn = 0;
    bool ready = false;
};

class pipeline {
public:
    pipeline(long count, std::ostream& out, const piece_format_maker& make, int helpers)
        : count_(count)
        , pieces_((count + piece_rows - 1) / piece_rows)
        , out_(out)
        , make_(make)
        , slots_(static_cast<std::size_t>(helpers) * 2 + 2)
    {
        for (std::size_t i = 0; i < slots_.size(); ++i)
            slots_[i].turn = static_cast<long>(i);
        try {
            for (int i = 0; i < helpers; ++i)
                threads_.emplace_back([this] { format_pieces(); });
        } catch (const std::exception&) {
            // Fewer helpers than asked for still get through; with none the caller works alone.
        }
    }

    ~pipeline()
    {
        stop("");
        for (pooled_work& t : threads_)
            t.join();
    }

    bool has_helpers() const { return !threads_.empty(); }

    // Writes every piece in order, formatting pieces itself while the next one to write is not
    // ready; the reason it stopped early, or empty.
    std::string run()
    {
        for (long k = 0; k < pieces_; ++k) {
            slot& s = slots_[static_cast<std::size_t>(k) % slots_.size()];
            if (!await_or_format(k, s))
                break;
            out_.write(s.bytes.data(), static_cast<std::streamsize>(s.bytes.size()));
            if (!out_) {
                stop("the data could not be written");
                break;
            }
            work::advance(static_cast<std::uint64_t>(std::min(piece_rows, count_ - k * piece_rows)));
            if (work::stop_asked()) {
                stop(work::cancelled);
                break;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            s.bytes.clear();
            s.ready = false;
            s.turn = k + static_cast<long>(slots_.size());
            changed_.notify_all();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return failure_;
    }

private:
    void format_pieces()
    {
        try {
            const piece_format format = make_();
            for (;;) {
                const long k = next_piece();
                if (k < 0)
                    return;
                slot& s = slots_[static_cast<std::size_t>(k) % slots_.size()];
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return stopped_ || (s.turn == k && !s.ready); });
                    if (stopped_)
                        return;
                }
                format_into(k, s, format);
            }
        } catch (const std::bad_alloc&) {
            stop("there was not enough memory");
        }
    }

    // Returns once piece k stands ready in `s`, false when the work stopped first. Meanwhile
    // this thread formats the next untaken piece whenever its slot is free: with one thread
    // fewer than there are cores, no helper takes the core of the thread that writes, which
    // otherwise waited a millisecond at a time for its turn on a core.
    bool await_or_format(long k, slot& s)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (stopped_)
                return false;
            if (s.turn == k && s.ready)
                return true;
            slot& free = slots_[static_cast<std::size_t>(next_) % slots_.size()];
            if (next_ < pieces_ && free.turn == next_ && !free.ready) {
                // Only a piece whose slot is free: a slot is freed by this thread alone.
                const long j = next_++;
                lock.unlock();
                if (!own_format_)
                    own_format_ = make_();
                format_into(j, free, own_format_);
                lock.lock();
                continue;
            }
            changed_.wait(lock);
        }
    }

    // Formats piece k into its slot `s` and marks it ready.
    void format_into(long k, slot& s, const piece_format& format)
    {
        const long first = k * piece_rows + 1;
        format(first, std::min(count_, first + piece_rows - 1), s.bytes);
        std::lock_guard<std::mutex> lock(mutex_);
        s.ready = true;
        changed_.notify_all();
    }

    // The next piece nobody has taken, or -1 when all are taken or the work has stopped.
    long next_piece()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_ || next_ >= pieces_)
            return -1;
        return next_++;
    }

    void stop(const char* why)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopped_ && *why)
            failure_ = why;
        stopped_ = true;
        changed_.notify_all();
    }

    const long count_;
    const long pieces_;
    std::ostream& out_;
    const piece_format_maker& make_;
    piece_format own_format_; // the writing thread's, made when it first formats
    std::vector<slot> slots_;
    std::vector<pooled_work> threads_;
    std::mutex mutex_;
    std::condition_variable changed_;
    long next_ = 0;
    bool stopped_ = false;
    std::string failure_;
};

// Formats and writes each piece in turn on the calling thread; the reason it stopped early, or
// empty.
std::string write_alone(long count, std::ostream& out, const piece_format_maker& make)
{
    const piece_format format = make();
    byte_piece bytes;
    for (long first = 1; first <= count && out; first += piece_rows) {
        bytes.clear();
        const long last = std::min(count, first + piece_rows - 1);
        format(first, last, bytes);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        work::advance(static_cast<std::uint64_t>(last - first + 1));
        if (work::stop_asked())
            return work::cancelled;
    }
    return {};
}

} // namespace

void byte_piece::grow_to(std::size_t at_least)
{
    const std::size_t cap = std::max(at_least, cap_ * 2);
    std::unique_ptr<char[]> data(new char[cap]);
    if (size_ > 0)
        std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    cap_ = cap;
}

result write_pieces(long count, std::ostream& out, const piece_format_maker& make)
{
    clean_wide_registers();
    try {
        std::string failure;
        if (count <= piece_rows) {
            failure = write_alone(count, out, make); // one piece: no helper is worth starting
        } else {
            // The calling thread writes and formats too, so it takes one of the cores.
            const int helpers = static_cast<int>(std::min(hardware_threads() - 1, 3u));
            pipeline work(count, out, make, helpers);
            failure = work.has_helpers() ? work.run() : write_alone(count, out, make);
        }
        if (!failure.empty())
            return {fault::write_failed, std::move(failure)};
    } catch (const std::bad_alloc&) {
        return {fault::write_failed, "there was not enough memory"};
    }
    out.flush();
    if (out)
        return {};
    return {fault::write_failed, "the data could not be written"};
}

} // namespace core
