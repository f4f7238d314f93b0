#pragma once
// Rows as pairs of texts, and a row source over them, 1-based like a table's. Knows nothing of
// Qt, so the fuzz targets share it with the tests.

#include "runtime/core/row_source.h"

#include <string>
#include <utility>
#include <vector>

namespace testing {

using row_pairs = std::vector<std::pair<std::string, std::string>>;

class vector_rows : public core::row_source {
public:
    explicit vector_rows(row_pairs rows)
        : rows_(std::move(rows))
    {
    }
    long count() const override { return static_cast<long>(rows_.size()); }
    std::string_view es_text(long row) const override { return rows_.at(static_cast<std::size_t>(row - 1)).first; }
    std::string_view es_text2(long row) const override { return rows_.at(static_cast<std::size_t>(row - 1)).second; }

private:
    row_pairs rows_;
};

} // namespace testing
