#pragma once
// How the core's loads, writes and reads end: done, or a failure of a known kind with its
// reason for a person. The line table's own operations keep their negative results.

#include <string>
#include <utility>

namespace core {

// What kind of failure stopped a load, a write or a read.
enum class fault {
    open_failed, // the file could not be opened: nothing was read
    read_failed, // reading stopped in mid-file, or there was no memory for the text
    table_failed, // the line table could not hold the rows (its row count is negative)
    write_failed, // not every byte reached the file or stream
    not_whole, // a written file does not read back whole
};

class [[nodiscard]] result {
public:
    // Done.
    result() = default;
    // Failed for `why`, told to a person as `reason`, e.g. "No such file or directory".
    result(fault why, std::string reason)
        : failed_(true)
        , fault_(why)
        , reason_(std::move(reason))
    {
    }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // Only meaningful when it failed.
    fault why() const { return fault_; }
    // Empty when it is done.
    const std::string& reason() const { return reason_; }

private:
    bool failed_ = false;
    fault fault_ = fault::open_failed;
    std::string reason_;
};

} // namespace core
