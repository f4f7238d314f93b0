#include "compare/w_diff.h"

#include "compare/linetable/grid_pane.h"
#include "printopt/w_print_option.h"
#include "runtime/clock.h"
#include "runtime/core/drive_model.h"
#include "runtime/core/work_gauge.h"
#include "runtime/long_work.h"
#include "runtime/message.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/save_dialog.h"
#include "runtime/window_refs.h"

#include <QLabel>

#include <algorithm>
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

// Paper for a list this long is asked for first.
constexpr long pages_without_asking = 100;

// With no printer the pages may go into a PDF file instead: the user is asked, then chooses the
// file in the save dialog, which opens in `folder` on `name`. Null when the user declines.
std::unique_ptr<rt::print_job> job_into_pdf(QWidget* parent, const QString& folder, const QString& name)
{
    if (!rt::ask_yes_no(QStringLiteral("Print"),
            QStringLiteral("No printer is available. Write the pages to a PDF file instead?"), true))
        return nullptr;
    const QList<rt::file_type> types {{QStringLiteral("PDF"), QStringLiteral("pdf")}};
    const rt::save_answer answer = rt::ask_save_file(parent, {QStringLiteral("Print to PDF"), types, folder, name});
    if (!answer.error.isEmpty())
        rt::messagebox(QStringLiteral("Print"), answer.error);
    if (answer.path.isEmpty())
        return nullptr;
    return rt::open_pdf_job(rt::with_extension(answer.path, QStringLiteral("pdf")));
}

} // namespace

void w_diff::ue_print()
{
    if (rt::long_work::running())
        return;
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
    QString list_name;
    switch (li_rtn) {
    case 1:
        ls_header += QStringLiteral(" (Similarity)");
        ldw_1 = dw_same;
        list_name = QStringLiteral("Similarity");
        break;
    case 2:
        ls_header += QStringLiteral(" (Difference)");
        ldw_1 = dw_diff;
        list_name = QStringLiteral("Difference");
        break;
    case 3:
        ls_header += QStringLiteral(" (Both)");
        ldw_1 = dw_sum;
        list_name = QStringLiteral("Both");
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
        if (job && job->no_printer()) {
            // The PDF file's dialog opens in the folder the directory list shows.
            std::string folder;
            if (!core::host_path_of(is_path.toStdString(), folder))
                folder.clear();
            job = job_into_pdf(this, QString::fromStdString(folder), list_name + QStringLiteral(".pdf"));
            if (!job)
                return;
        }
        if (!job || !job->is_open()) {
            const QString why = job ? job->error() : QString();
            rt::messagebox(QStringLiteral("Print"), QStringLiteral("Nothing was printed. ") + why);
            return;
        }
        ls_header += QStringLiteral("\r\n") + ls_files;
        const int margin_top = 330;
        const QString printer = job->printer_name();
        if (!printer.isEmpty()) {
            const long pages = job->page_count(ls_header, ldw_1->table(), margin_top);
            if (pages > pages_without_asking
                && !rt::ask_yes_no(QStringLiteral("Print"),
                    QStringLiteral("The list takes %1 pages. Print all %1 pages on the printer \"%2\"?")
                        .arg(pages)
                        .arg(printer),
                    false)) {
                job->cancel();
                return;
            }
        }
        ldw_1->table().set_print_margin_top(margin_top);
        {
            // Every question is answered by now: from here on the input waits for the job.
            rt::long_work work(QStringLiteral("Printing %1...").arg(list_name), {1.0}, true, true);
            core::work::begin_stage(0, static_cast<std::uint64_t>(std::max(0L, ldw_1->table().count())));
            job->print_text(ls_header);
            job->print_grid(ldw_1->table());
            if (work.cancelled()) {
                // Nothing goes to the printer, and a PDF file stays as it was.
                job->cancel();
                return;
            }
            job->close();
        }
        // A job fails at its start or its end; either way the user hears of it.
        if (!job->error().isEmpty())
            rt::messagebox(QStringLiteral("Print"), QStringLiteral("Nothing was printed. ") + job->error());
    } catch (const std::bad_alloc&) {
        if (job)
            job->abandon();
        rt::messagebox(QStringLiteral("Print"),
            QStringLiteral("There is not enough memory to print the list. The printing stopped."));
    }
}
