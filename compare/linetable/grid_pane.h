#pragma once
// A grid pane: the grid control over a line table of its own, as every pane of the compare
// window is.

#include "compare/linetable/line_table.h"
#include "runtime/grid_control.h"

namespace rt {

class grid_pane : public grid_control {
    Q_OBJECT
public:
    explicit grid_pane(QWidget* parent = nullptr);

    core::line_table& table() { return static_cast<core::line_table&>(rows()); }
    const core::line_table& table() const { return static_cast<const core::line_table&>(rows()); }
};

} // namespace rt
