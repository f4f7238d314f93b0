#include "compare/linetable/grid_pane.h"

#include <memory>

namespace rt {

// The rows are a line table from the start, which is what table() relies on.
grid_pane::grid_pane(QWidget* parent)
    : grid_control(std::make_unique<core::line_table>(), parent)
{
}

} // namespace rt
