// Loading the selected file into a source pane.

#include "compare/w_diff.h"

#include "compare/import/source_load.h"
#include "compare/linetable/grid_pane.h"
#include "runtime/core/drive_model.h"
#include "runtime/core/line_file.h"
#include "runtime/long_work.h"
#include "runtime/message_box.h"

#include <QLabel>
#include <QLocale>

void w_diff::ue_dragdrop(int ai)
{
    if (rt::long_work::running())
        return;
    core::line_file file;
    std::string host_path;
    core::result opened;
    if (!is_file.isEmpty() && !core::host_path_of(is_file.toStdString(), host_path))
        opened = {core::fault::open_failed, "The path names no drive of this machine"};
    else
        opened = file.open(host_path);

    rt::grid_pane* pane = ai == 1 ? dw_1 : ai == 2 ? dw_2 : nullptr;
    QLabel* label = ai == 1 ? st_1 : ai == 2 ? st_2 : nullptr;
    if (!pane) {
        file.close();
        return;
    }

    core::line_table& table = pane->table();
    core::result loaded;
    {
        // The file's lines, then sorted by "es_text A" unless the table failed, into a table of
        // their own while the window paints: the pane shows nothing half loaded, and a cancelled
        // load leaves it as it was.
        core::line_table read;
        {
            rt::long_work work(QStringLiteral("Loading %1...").arg(is_file), {0.45, 0.55}, true);
            work.run_aside([&] { loaded = core::read_sorted_source(file, read); });
            if (work.cancelled()) {
                file.close();
                return;
            }
        }
        core::line_table::batch changes(table);
        table.swap_rows(read);
        label->setText(is_file);
    }
    const bool table_failed = table.rowcount() < 0;

    // Nothing selected yet is no failure; a named file that could not be read whole is one the
    // user must hear of, or the compare would quietly use a file that was never read.
    if (!is_file.isEmpty() && !loaded) {
        if (loaded.why() == core::fault::open_failed) {
            rt::messagebox(QStringLiteral("File read error"),
                QStringLiteral("Cannot open %1:\n%2.").arg(is_file, QString::fromStdString(opened.reason())));
        } else if (loaded.why() == core::fault::read_failed) {
            // Say what the pane holds: nothing at all, when the failure came before any line.
            const long kept = table.count();
            rt::messagebox(QStringLiteral("File read error"),
                QStringLiteral("Reading %1 failed in mid-file:\n%2.\n%3")
                    .arg(is_file, QString::fromStdString(loaded.reason()),
                        kept == 0       ? QStringLiteral("Nothing was loaded.")
                            : kept == 1 ? QStringLiteral("Only the line before the failure was loaded.")
                                        : QStringLiteral("Only the %1 lines before the failure were loaded.")
                                              .arg(QLocale().toString(qlonglong(kept)))));
        }
    }
    if (table_failed)
        rt::messagebox(QStringLiteral("File read error"), QStringLiteral("Not a Text or dBase file"));
    file.close();
}
