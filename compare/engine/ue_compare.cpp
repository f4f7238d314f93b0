#include "compare/w_diff.h"

#include "compare/engine/compare_engine.h"
#include "compare/linetable/grid_pane.h"
#include "frame/w_frame.h"
#include "runtime/message_box.h"
#include "runtime/pointer.h"
#include "runtime/window_refs.h"

#include <QLabel>

namespace {

void set_status(const QString& text)
{
    if (w_frame* frame = rt::windows().w_frame.data())
        frame->setmicrohelp(text);
}

} // namespace

void w_diff::ue_compare()
{
    if (!dw_1 || !dw_2 || !dw_same || !dw_diff || !dw_sum || !st_1 || !st_2)
        return;
    core::compare_counts counts;
    {
        // The pointer first: painting the status line sends both to the screen before the
        // compare holds the event loop.
        rt::busy_pointer busy;
        set_status(QStringLiteral("Please wait..."));
        // Each result pane hears of the compare once, when all its rows are in place.
        core::line_table::batch same_batch(dw_same->table());
        core::line_table::batch diff_batch(dw_diff->table());
        core::line_table::batch sum_batch(dw_sum->table());
        const std::string label1 = st_1->text().toStdString();
        const std::string label2 = st_2->text().toStdString();
        counts = core::compare_sources(
            dw_1->table(), dw_2->table(), label1, label2, dw_same->table(), dw_diff->table(), dw_sum->table());
    }
    set_status(QStringLiteral("Ready"));
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
