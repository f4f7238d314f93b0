#pragma once
// Print jobs: open one, print texts and grids into it one after the other, close it to send it
// to the printer. Jobs are made through a seam so that tests can record what was printed, or
// print into a PDF file instead of onto paper.

#include "runtime/core/seam.h"

#include <QString>

#include <functional>
#include <memory>

namespace core {
class grid_rows;
class row_source;
} // namespace core

namespace rt {

class print_job {
public:
    virtual ~print_job() = default;

    // False when the job could not be started; error() then says why. Once the job has ended,
    // error() says why it failed, if it did.
    virtual bool is_open() const = 0;
    virtual QString error() const = 0;
    // True when the job could not start because there is no printer at all.
    virtual bool no_printer() const { return false; }
    // The printer the job goes to; empty for a job into a file.
    virtual QString printer_name() const { return QString(); }
    // How many pages print_text(text) and then print_rows(rows, margin_top) would fill, counted
    // from where the job stands; 0 when the job cannot tell.
    virtual long page_count(const QString& text, const core::row_source& rows, int margin_top);

    // Prints `text` below what the job holds; lines are separated by "\r\n" (or "\n").
    virtual void print_text(const QString& text) = 0;
    // Prints the rows as the grid shows them, with their total line, below what the job holds,
    // over as many pages as they need; `margin_top` (grid units) is kept free on every page.
    virtual void print_rows(const core::row_source& rows, int margin_top) = 0;
    // Ends the job and sends it on. Printing into a closed job does nothing.
    virtual void close() = 0;
    // Ends the job sending nothing on, when nothing has been printed into it yet; a job into a
    // file leaves the file as it was whatever was printed.
    virtual void cancel() { }
    // Gives the job up after memory ran out in the middle of it. Nothing more is done with it,
    // not even ending it: the printer's engine may be half-changed, and ending it could crash.
    // What was printed so far is lost, and the little the job held stays taken.
    virtual void abandon() { }

    // Prints a grid's rows with the grid's print margin.
    void print_grid(const core::grid_rows& rows);
};

// A job on the system's default printer, with the default settings and no job name.
std::unique_ptr<print_job> open_printer_job();
// A job written into the PDF file `path`, laid out as on paper. The pages go into a file of
// their own beside it, which takes the name only once the job has ended whole: until then an
// earlier file at `path` stays as it was.
std::unique_ptr<print_job> open_pdf_job(const QString& path);

// Sets up the printing support once, while memory is plentiful. Qt sets it up on first use, and
// when memory runs short in the middle of that, it is broken for the rest of the session: no
// printer, or every later print waiting forever on the half-made parts.
void prepare_printing();

// Opens a job through the factory: the default printer unless a test has set one.
std::unique_ptr<print_job> printopen();

using print_job_factory = std::function<std::unique_ptr<print_job>()>;
// The seam through which tests make the jobs.
core::seam<print_job_factory>& print_job_seam();

} // namespace rt
