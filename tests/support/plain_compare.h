#pragma once
// The compare done the plain way, row against row, for the tests and the fuzz target that hold
// the engine against it. Knows nothing of Qt.

#include "compare/linetable/line_table.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace testing {

struct row {
    std::string text, text2;
    bool operator==(const row& o) const { return text == o.text && text2 == o.text2; }
};
using rows = std::vector<row>;

struct lists {
    rows same, diff, sum;
};

inline rows rows_of(const core::line_table& t)
{
    rows out;
    for (long r = 1; r <= t.rowcount(); ++r)
        out.push_back({std::string(t.get(core::column::es_text, r)), std::string(t.get(core::column::es_text2, r))});
    return out;
}

// The lines as a source pane holds them: inserted one by one, then sorted by text when `sorted`.
inline void fill(core::line_table& t, const std::vector<std::string>& lines, bool sorted)
{
    t.reset();
    for (const auto& l : lines)
        t.set(core::column::es_text, t.insertrow(0), l);
    if (sorted) {
        t.setsort("es_text A");
        t.sort();
    }
}

// The membership test done the plain way: every row against every row of the other source,
// then the two stable sorts and the combined list built row by row.
// (std::string compares as unsigned bytes, which is the tables' order.)
inline lists plain_compare(const std::vector<std::string>& s1, const std::vector<std::string>& s2,
    const std::string& l1, const std::string& l2, bool use_set = false)
{
    lists out;
    if (s1.empty() && s2.empty())
        return out;
    const std::set<std::string> in1(s1.begin(), s1.end()), in2(s2.begin(), s2.end());
    auto occurs = [&](const std::string& t, const std::vector<std::string>& other, const std::set<std::string>& set) {
        if (use_set)
            return set.count(t) > 0;
        long found = 0;
        for (const auto& o : other)
            if (o == t)
                ++found;
        return found > 0;
    };
    for (const auto& t : s1) {
        if (occurs(t, s2, in2))
            out.same.push_back({t, ""});
        else
            out.diff.push_back({t, l1});
    }
    for (const auto& t : s2)
        if (!occurs(t, s1, in1))
            out.diff.push_back({t, l2});
    std::stable_sort(out.same.begin(), out.same.end(), [](const row& a, const row& b) { return a.text < b.text; });
    std::stable_sort(out.diff.begin(), out.diff.end(),
        [](const row& a, const row& b) { return a.text2 != b.text2 ? a.text2 < b.text2 : a.text < b.text; });
    out.sum.push_back({"Similarity", ""});
    out.sum.insert(out.sum.end(), out.same.begin(), out.same.end());
    out.sum.push_back({"", ""});
    out.sum.push_back({"Difference", ""});
    out.sum.insert(out.sum.end(), out.diff.begin(), out.diff.end());
    return out;
}

} // namespace testing
