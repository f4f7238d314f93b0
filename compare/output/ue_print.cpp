#include "compare/w_diff.h"

#include "compare/linetable/grid_pane.h"
#include "printopt/w_print_option.h"
#include "runtime/clock.h"
#include "runtime/message.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/window_refs.h"

#include <QLabel>

#include <cmath>
#include <new>

namespace {

// The whole-number part of the dialog's answer; anything that is no small number reads as 0.
int whole_choice(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1000)
        return 0;
    return static_cast<int>(value);
}

} // namespace

void w_diff::ue_print()
{
    // Taken before the dialog, so the header tells when Print was chosen.
    const QDateTime moment = rt::now();
    QString ls_header = rt::date_text(moment.date()) + QLatin1Char(' ') + rt::time_text(moment.time());
    const QString ls_files = QStringLiteral("File 1: ") + st_1->text() + QStringLiteral("\r\nFile 2: ") + st_2->text();

    // The close box leaves no number behind; starting from 0 makes it read as Cancel.
    rt::message().doubleparm = 0;
    rt::open_response(rt::windows().w_print_option, this);
    const int li_rtn = whole_choice(rt::message().doubleparm);
    if (li_rtn == 0)
        return;

    rt::grid_pane* ldw_1 = nullptr;
    switch (li_rtn) {
    case 1:
        ls_header += QStringLiteral(" (Similarity)");
        ldw_1 = dw_same;
        break;
    case 2:
        ls_header += QStringLiteral(" (Difference)");
        ldw_1 = dw_diff;
        break;
    case 3:
        ls_header += QStringLiteral(" (Both)");
        ldw_1 = dw_sum;
        break;
    default:
        return;
    }

    if (ldw_1->table().failed()) {
        rt::messagebox(QStringLiteral("Print"),
            QStringLiteral("Nothing was printed: the list is not complete, because the compare that made it "
                           "failed."));
        return;
    }

    // Starting a job takes memory too (the printer's engine), so its start is inside the guard.
    std::unique_ptr<rt::print_job> job;
    try {
        job = rt::printopen();
        if (!job || !job->is_open()) {
            const QString why = job ? job->error() : QString();
            rt::messagebox(QStringLiteral("Print"), QStringLiteral("Nothing was printed. ") + why);
            return;
        }
        ls_header += QStringLiteral("\r\n") + ls_files;
        ldw_1->table().set_print_margin_top(330);
        job->print_text(ls_header);
        job->print_grid(ldw_1->table());
        job->close();
    } catch (const std::bad_alloc&) {
        if (job)
            job->abandon();
        rt::messagebox(QStringLiteral("Print"),
            QStringLiteral("There is not enough memory to print the list. The printing stopped."));
    }
}
