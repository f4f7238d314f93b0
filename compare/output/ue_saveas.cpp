#include "compare/w_diff.h"

#include "compare/output/table_saveas.h"
#include "runtime/grid_pane.h"

void w_diff::ue_saveas()
{
    saveas(this, dw_sum->table());
}
