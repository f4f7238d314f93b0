#pragma once
// The row store behind every grid pane: two text columns, rows numbered from 1.
//
// Text lives once, in immutable blocks that tables share; a row is a small reference into them,
// so copying rows between tables and sorting them moves references, never text. All text is
// UTF-8, and ascending order is Unicode code-point order (which is UTF-8 byte order).
//
// Every operation reports failure by a negative result and never shows anything.

#include "runtime/core/row_source.h"
#include "runtime/core/text_block.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace core {

enum class column { es_text, es_text2 };

// Parses "es_text" / "es_text2"; false for any other name.
bool column_from_name(std::string_view name, column& out);

class line_table : public grid_rows {
public:
    line_table();
    ~line_table() override;
    line_table(const line_table&) = delete;
    line_table& operator=(const line_table&) = delete;

    // Removes every row and clears a reported failure. Returns 1.
    long reset();

    // Inserts one empty row before row `before` (0 appends); returns its number, or -1.
    long insertrow(long before);

    // The number of rows, or -1 once the table could not hold what it was given.
    long rowcount() const;

    // The cell's text; empty for a row or column that does not exist.
    std::string_view get(column c, long row) const;
    // Writes a cell; 1, or -1 for a row that does not exist or text that cannot be held.
    long set(column c, long row, std::string_view text);

    // Remembers a sort expression such as "es_text2 A, es_text A"; 1, or -1 if it does not parse
    // (then the remembered expression is unchanged).
    long setsort(std::string_view expression);
    // Reorders all rows by the remembered expression, stably; 1, or -1 when none is set.
    long sort();

    // Copies rows first..last into `target` before its row `before` (one past its last row
    // appends). last < first copies nothing. Returns 1, or -1 for rows out of range.
    long rowscopy(long first, long last, line_table& target, long before) const;

    // Appends one row per span of `block` into es_text, es_text2 left empty; the quick way of
    // a load. Returns the new row count, or -1 (the rows appended so far stay).
    long append_lines(std::shared_ptr<const text_block> block, const line_span* spans, std::size_t n);

    // Fills the empty table with one row per span of `block`, spans[0..n) and then more[0..m),
    // in ascending text order (what appending them and a stable sort by "es_text A" give,
    // without the unsorted rows ever standing in memory), and remembers "es_text A". False,
    // with the table untouched, when it holds rows, the rows would pass the row limit, or the
    // memory is short.
    bool fill_sorted(std::shared_ptr<const text_block> block, const short_span* spans, std::size_t n,
        const short_span* more, std::size_t m);

    // Makes room for `more` rows beyond those held, as far as the row limit allows, so that a
    // load's rows are not moved at every growth. A hint: without the memory nothing changes.
    void reserve_rows(std::size_t more);
    // Gives back room made for rows that never came, beyond what growing would have left.
    void trim_rows();
    // How many rows the table holds before it must grow.
    std::size_t row_capacity() const;
    // Trades rows with `other`: their texts, order and failure, and the remembered sort where
    // `other` has one. What filling this table after a reset gives, for work done aside in a
    // table of its own; the observer of each table hears of it once.
    void swap_rows(line_table& other);
    // Reports a failure by its row count from now on, keeping the rows it holds: for a load that
    // could not give it every line.
    void mark_failed();

    // The top margin used when the table is printed, in grid units.
    int print_margin_top() const override { return margin_top_; }
    void set_print_margin_top(int units) { margin_top_ = units; }

    // The most rows a table may hold; tests lower it to make the table fail on purpose.
    static void set_row_limit(long limit);
    static long row_limit();

    void set_observer(table_observer* observer) override { observer_ = observer; }

    // The table as rows to show, print and save. A table that reports a failure shows the rows
    // it holds, which are never printed, saved or copied as if they were all.
    long count() const override;
    bool failed() const override { return rowcount() < 0; }
    bool holds_escapes() const override;
    std::string_view es_text(long row) const override { return get(column::es_text, row); }
    std::string_view es_text2(long row) const override { return get(column::es_text2, row); }
    void cells(long first, long n, std::string_view* text, std::string_view* text2) const override;

    // Groups the changes made while it lives, so an observer hears of them once. Every change
    // of rows is made inside one, the table's own operations included.
    class batch {
    public:
        explicit batch(line_table& t);
        ~batch();
        batch(const batch&) = delete;
        batch& operator=(const batch&) = delete;

    private:
        line_table& t_;
    };

    struct impl;

private:
    friend struct line_table_access;

    void begin_change();
    void end_change();

    std::unique_ptr<impl> d_;
    table_observer* observer_ = nullptr;
    int batch_depth_ = 0;
    int margin_top_ = 0;
};

} // namespace core
