#pragma once
// How a printed list falls onto pages. All lengths are in grid layout units, measured down from
// the top of a page's printable area.
//
// The list begins on the page that holds what was printed before it, below that and never
// above the top margin; every further page begins at the top margin. The total line follows
// the last row, on a page of its own when the last page has no room left for it.

#include <vector>

namespace core {

struct list_page_metrics {
    int page_height = 0; // printable height of a page
    int margin_top = 0; // where the list's lines may begin on each page
    int used = 0; // how far down the first page is already printed
    int detail_height = 0; // one row
    int total_height = 0; // the total line
};

struct list_page {
    bool new_page = false; // begins a fresh page rather than continuing the current one
    int top = 0; // where its first line begins
    long first_row = 1; // first row on the page, 1-based
    long row_count = 0; // rows on the page
    bool total = false; // the total line ends the list on this page
};

// The pages of a list of `rows` rows. A page too short for a single line still takes one, so
// every row is printed and the list always ends.
std::vector<list_page> lay_out_list(long rows, const list_page_metrics& m);

} // namespace core
