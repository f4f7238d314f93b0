#include "compare/w_diff.h"

#include "compare/linetable/grid_pane.h"
#include "compare/output/table_saveas.h"
#include "runtime/core/drive_model.h"
#include "runtime/long_work.h"
#include "runtime/message_box.h"

#include <new>

void w_diff::ue_saveas()
{
    if (rt::long_work::running())
        return;
    // The dialog opens in the folder the directory list shows.
    std::string folder;
    if (!core::host_path_of(is_path.toStdString(), folder))
        folder.clear();
    // The writers report running out of memory themselves; anything else that runs out on the
    // way leaves the file unwritten, and an earlier file of that name as it was.
    try {
        saveas(this, dw_sum->table(), QString::fromStdString(folder));
    } catch (const std::bad_alloc&) {
        rt::messagebox(
            QStringLiteral("Save As"), QStringLiteral("The file could not be written: there is not enough memory."));
    }
}
