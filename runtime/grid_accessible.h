#pragma once
// What a screen reader hears of a grid: its rows as a table of cells, named as the pane is
// ("Source 1", "Similarity", ...), focused when the keyboard is in it, and described by its
// current row, "Row 3 of 12: banana". The view tells of a change of the current row and of the
// selection itself, through the functions below, since the cells are numbered here without the
// hidden headers that Qt's own numbering counts.

#include <QString>

class QItemSelection;
class QTableView;

namespace rt {

// Gives the rows of every grid view marked below this face, from now on. Done once; later calls
// do nothing.
void install_grid_accessibility();
// Marks `view` as the view of a grid control's rows.
void mark_grid_view(QTableView* view);

// The description of the view's current row: "Row 3 of 12: banana", with ", from " and the
// source where the row has one; "12 rows" when no row is current, "No rows" when there are none.
QString current_row_description(const QTableView* view);

// Tell accessibility tools, when any listens, that the current row of `view` changed or that
// rows were chosen or let go.
void tell_current_row(QTableView* view);
void tell_selection(QTableView* view, const QItemSelection& selected, const QItemSelection& deselected);

} // namespace rt
