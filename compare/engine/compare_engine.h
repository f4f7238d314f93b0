#pragma once
// The compare of two sources as sets of lines: which lines the two share (the similarity
// list), which occur in only one of them (the difference list, each row labelled with its
// source), and the combined list that printing and saving use.

#include "compare/linetable/line_table.h"

#include <string_view>

namespace core {

// Row counts of one compare, as each table reports them afterwards.
struct compare_counts {
    long rows1 = 0;
    long rows2 = 0;
    long same = 0;
    long diff = 0;
    long sum = 0;
    // Both sources were empty: the three lists were only emptied.
    bool both_empty = false;
    // The lists could not be made; each is then empty and reports the failure by its row count.
    bool failed() const { return same < 0 || diff < 0 || sum < 0; }
    // Why they could not: there was not the memory, a source was not loaded whole (its row count
    // is negative), or (when both are false) a list would have held more rows than a table may.
    bool out_of_memory = false;
    bool source_failed = false;
};

// Fills `same`, `diff` and `sum` from the two sources.
//
// A row of one source is similar when at least one row of the other has exactly the same
// es_text (whole string, case and blanks counting), else different; repeated lines are not
// paired off. `same` holds source 1's similar rows, sorted by "es_text A"; `diff` holds the
// different rows of both sources with their source's label in es_text2, sorted by
// "es_text2 A, es_text A"; `sum` is "Similarity", the similar rows, a blank row, "Difference"
// and the difference rows. When both sources are empty all three lists end empty.
//
// The result rows point into the sources' text; the sources are not changed. When any list
// cannot be made whole, none is kept: all three end empty and report a negative row count, so
// that no part of a compare is ever shown, printed or saved as if it were all of it.
compare_counts compare_sources(const line_table& source1, const line_table& source2, std::string_view label1,
    std::string_view label2, line_table& same, line_table& diff, line_table& sum);

} // namespace core
