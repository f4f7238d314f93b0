#pragma once
// The layout of the line table definition d_ext_text, in window units: a detail line per row,
// a total line below the rows. The screen and the printed page draw the same cells.

namespace rt::grid_layout {

struct cell {
    int left, top, width, height;
};

constexpr int detail_height = 69;
constexpr int total_height = 53;

constexpr cell row_number {10, 4, 92, 65}; // "GetRow()" on light grey, regular weight
constexpr cell es_text {138, 4, 1486, 61}; // transparent background
constexpr cell es_text2 {1637, 4, 453, 61}; // transparent background
constexpr cell total_label {14, 0, 202, 53}; // "Total :", bold, white background
constexpr cell total_count {206, 0, 220, 49}; // "RowCount()", white background

// The detail cells from left to right: the row number, es_text, es_text2.
constexpr cell detail_cells[] = {row_number, es_text, es_text2};
constexpr int detail_cell_count = 3;

// The width of the band a detail cell heads on screen: from its left to the next cell's left,
// so the gaps between the cells belong to the band before them; the last band is its cell.
constexpr int band_width(int column)
{
    return column + 1 < detail_cell_count ? detail_cells[column + 1].left - detail_cells[column].left
                                          : detail_cells[column].width;
}

// How much a list whose largest row number needs `number_width` units widens the number cell:
// nothing while the number fits its designed width. The cells to its right move by as much.
constexpr int number_growth(int number_width)
{
    return number_width > row_number.width ? number_width - row_number.width : 0;
}

// The face and size of every text of the grid.
constexpr const char* font_face = "MS Sans Serif";
constexpr int font_points = 8;

} // namespace rt::grid_layout
