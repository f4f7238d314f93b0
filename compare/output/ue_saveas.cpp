#include "compare/w_diff.h"

#include "compare/output/table_saveas.h"
#include "runtime/drive_model.h"
#include "runtime/grid_pane.h"

void w_diff::ue_saveas()
{
    // The dialog opens in the folder the directory list shows.
    std::string folder;
    if (!core::host_path_of(is_path.toStdString(), folder))
        folder.clear();
    saveas(this, dw_sum->table(), QString::fromStdString(folder));
}
