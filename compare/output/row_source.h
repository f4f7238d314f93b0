#pragma once
// The rows that printing and saving read: two text columns, numbered from 1. A line table is
// one; the writers and the print layout need nothing more of it than this.

#include "compare/linetable/line_table.h"

#include <string_view>

namespace core {

class row_source {
public:
    virtual ~row_source() = default;
    virtual long count() const = 0;
    // The cells of row `row` (1-based), UTF-8.
    virtual std::string_view es_text(long row) const = 0;
    virtual std::string_view es_text2(long row) const = 0;
};

// The rows of a line table, read in place. A table that reports a failure reads as empty.
class table_rows : public row_source {
public:
    explicit table_rows(const line_table& table)
        : table_(table)
    {
    }
    long count() const override
    {
        const long n = table_.rowcount();
        return n > 0 ? n : 0;
    }
    std::string_view es_text(long row) const override { return table_.get(column::es_text, row); }
    std::string_view es_text2(long row) const override { return table_.get(column::es_text2, row); }

private:
    const line_table& table_;
};

} // namespace core
