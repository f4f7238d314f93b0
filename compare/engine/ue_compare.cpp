#include "compare/w_diff.h"

#include "compare/engine/compare_engine.h"
#include "compare/linetable/grid_pane.h"
#include "runtime/long_work.h"
#include "runtime/message_box.h"

#include <QLabel>

void w_diff::ue_compare()
{
    if (!dw_1 || !dw_2 || !dw_same || !dw_diff || !dw_sum || !st_1 || !st_2 || rt::long_work::running())
        return;
    core::compare_counts counts;
    {
        rt::long_work work(QStringLiteral("Please wait..."), {1.0}, false);
        // The earlier lists go first, so that their memory serves the new ones; the new lists
        // are made in tables of their own while the window paints, and each result pane shows
        // them once all its rows are in place.
        for (rt::grid_pane* list : {dw_same, dw_diff, dw_sum})
            list->table().reset();
        const std::string label1 = st_1->text().toStdString();
        const std::string label2 = st_2->text().toStdString();
        core::line_table same, diff, sum;
        work.run_aside(
            [&] { counts = core::compare_sources(dw_1->table(), dw_2->table(), label1, label2, same, diff, sum); });
        dw_same->table().swap_rows(same);
        dw_diff->table().swap_rows(diff);
        dw_sum->table().swap_rows(sum);
    }
    // Empty lists would otherwise pass for two sources with nothing in common.
    if (counts.failed()) {
        const QString why = counts.source_failed
            ? QStringLiteral("Source %1 was not loaded whole, so the two cannot be compared.")
                  .arg(counts.rows1 < 0 ? 1 : 2)
            : counts.out_of_memory ? QStringLiteral("There is not enough memory to compare the two sources.")
                                   : QStringLiteral("The result lists would hold more rows than a list can.");
        rt::messagebox(QStringLiteral("Compare"),
            why
                + QStringLiteral(" The result lists are empty, and there is nothing to print or save until a "
                                 "compare succeeds."));
    }
}
