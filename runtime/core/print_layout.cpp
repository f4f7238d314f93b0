#include "runtime/core/print_layout.h"

#include <algorithm>

namespace core {

namespace {

// Whole lines of `height` that fit between `top` and the foot of the page; at least one on a
// fresh page, so a page too short for any line cannot stall the list.
long lines_fitting(int top, long height, int page_height, bool fresh)
{
    const long room = page_height - top;
    const long n = height > 0 ? room / height : 0;
    if (n <= 0)
        return fresh ? 1 : 0;
    return n;
}

} // namespace

std::vector<list_page> lay_out_list(long rows, const list_page_metrics& m)
{
    std::vector<list_page> pages;
    const int margin = std::max(0, m.margin_top);
    const long detail = std::max(1, m.detail_height);

    list_page page;
    page.new_page = false;
    page.top = std::max(margin, m.used);
    bool fresh = m.used <= 0;
    // The first page continues what the job holds only if at least one line fits on it.
    const long first_line = rows > 0 ? detail : std::max(0, m.total_height);
    if (!fresh && page.top + first_line > m.page_height) {
        page.new_page = true;
        page.top = margin;
        fresh = true;
    }

    long next = 1;
    while (true) {
        page.first_row = next;
        const long left = rows - next + 1;
        const long fit = left > 0 ? std::min(left, lines_fitting(page.top, detail, m.page_height, fresh)) : 0;
        page.row_count = fit;
        next += fit;
        const long bottom = page.top + fit * detail;
        if (next > rows && (bottom + m.total_height <= m.page_height || fit == 0)) {
            page.total = true;
            pages.push_back(page);
            break;
        }
        pages.push_back(page);
        page = list_page();
        page.new_page = true;
        page.top = margin;
        fresh = true;
    }
    return pages;
}

} // namespace core
