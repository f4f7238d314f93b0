#pragma once
// The rows that a grid shows and prints and that saving reads: two text columns, numbered from
// 1. The line table is such rows; the grid, the print job and the writers need nothing more of
// it than this.

#include <string_view>

namespace core {

class row_source {
public:
    virtual ~row_source() = default;
    // How many rows there are; rows that report a failure count those they hold.
    virtual long count() const = 0;
    // True when the rows are not all there (a load or a compare that failed part-way): printing,
    // saving or copying them would pass off part of a list as the whole of it.
    virtual bool failed() const { return false; }
    // True when a text may hold bytes kept as escapes (utf8.h), which whatever shows or saves
    // the rows must show as U+FFFD; false lets it take every text as it is.
    virtual bool holds_escapes() const { return false; }
    // The cells of row `row` (1-based), UTF-8.
    virtual std::string_view es_text(long row) const = 0;
    virtual std::string_view es_text2(long row) const = 0;
    // The cells of rows first..first + n - 1 into text[0..n) and text2[0..n). Saving reads
    // millions of rows, and one call for many spares it two calls a row.
    virtual void cells(long first, long n, std::string_view* text, std::string_view* text2) const
    {
        for (long i = 0; i < n; ++i) {
            text[i] = es_text(first + i);
            text2[i] = es_text2(first + i);
        }
    }
};

// Told before and after every change of rows, so a view can follow. Nested batches of changes
// are reported once, around the outermost.
struct table_observer {
    virtual ~table_observer() = default;
    virtual void rows_about_to_change() = 0;
    virtual void rows_changed() = 0;
};

// The rows behind a grid: they tell one observer of each change, and keep the top margin the
// grid prints with.
class grid_rows : public row_source {
public:
    // The observer told of every change from now on; null tells none.
    virtual void set_observer(table_observer* observer) = 0;
    // The top margin used when the rows are printed, in grid units.
    virtual int print_margin_top() const = 0;
};

} // namespace core
