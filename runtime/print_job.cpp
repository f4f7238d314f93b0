#include "runtime/print_job.h"

#include "runtime/core/print_layout.h"
#include "runtime/core/row_source.h"
#include "runtime/core/utf8.h"
#include "runtime/core/work_gauge.h"
#include "runtime/grid_layout.h"
#include "runtime/long_work.h"
#include "runtime/path_elide.h"
#include "runtime/units.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace rt {

namespace {

QString text_of(std::string_view utf8)
{
    if (core::holds_byte_escapes(utf8))
        return QString::fromStdString(core::shown(utf8));
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

// Paints the job onto a QPrinter: onto paper, or into a PDF file. Painting begins with the
// first thing printed, so that a job can still be dropped before it without sending a page.
class painter_job : public print_job {
public:
    // With `to_pdf` the job goes into the file `pdf_path`, else to the default printer.
    painter_job(bool to_pdf, const QString& pdf_path);
    ~painter_job() override { close(); }

    bool is_open() const override { return state_ == state::ready || state_ == state::painting; }
    QString error() const override { return error_; }
    bool no_printer() const override { return no_printer_; }
    QString printer_name() const override { return to_pdf_ ? QString() : printer_.printerName(); }
    long page_count(const QString& text, const core::row_source& rows, int margin_top) override;
    void print_text(const QString& text) override;
    void print_rows(const core::row_source& rows, int margin_top) override;
    void close() override;
    void cancel() override;
    void abandon() override;

private:
    // Grid units in device pixels, and the grid's fonts, for this printer's page.
    struct grid_scale {
        qreal x = 1;
        qreal y = 1;
        QFont regular;
        QFont bold;
        int number_growth = 0; // units the number cell grows by, as on screen
    };
    // The scale of a list of `rows` rows.
    grid_scale grid_metrics(long rows);
    // How much the designed grid, `number_growth` units wider, is enlarged to fill the page's width.
    qreal page_scale(int number_growth);
    static QFont grid_font()
    {
        return design_font(QLatin1String(grid_layout::font_face), grid_layout::font_points, false, font_family::swiss);
    }
    QRectF cell_rect(const grid_layout::cell& cell, qreal line_top, const grid_scale& g) const;
    // A detail cell, moved and widened for the list's largest row number.
    QRectF detail_rect(int column, qreal line_top, const grid_scale& g) const;
    void paint_row(long number, const core::row_source& rows, qreal top, const grid_scale& g);
    void paint_total(long count, qreal top, const grid_scale& g);
    // Lays `text`, then the rows, out from `cursor` on, and paints them when `paint`; either way
    // returns how many pages they begin beyond the one the cursor is on.
    long lay_out_text(const QString& text, qreal& cursor, bool paint);
    long lay_out_rows(const core::row_source& rows, int margin_top, qreal& cursor, bool paint);
    // Begins painting on the first print; false when the job has failed or ended.
    bool begin_painting();
    // Gives the finished pages the PDF file's name, whole or not at all.
    void take_pdf_name();

    enum class state { failed, ready, painting, ended };

    // Owned by the job, except when it is abandoned: they are then given up, neither ended nor
    // freed, since either would walk through the half-changed engine.
    std::unique_ptr<QPrinter> owned_printer_ = std::make_unique<QPrinter>();
    std::unique_ptr<QPainter> owned_painter_ = std::make_unique<QPainter>();
    QPrinter& printer_ = *owned_printer_;
    QPainter& painter_ = *owned_painter_;
    const bool to_pdf_;
    const QString pdf_path_;
    // A PDF job's pages, in a file with no name until they are whole and take the file's: a job
    // that fails, is cancelled or is killed leaves nothing behind.
    std::unique_ptr<QSaveFile> pages_;
    state state_ = state::failed;
    bool no_printer_ = false;
    QString error_;
    qreal cursor_ = 0; // device pixels below the top of the current page that are printed on
};

painter_job::painter_job(bool to_pdf, const QString& pdf_path)
    : to_pdf_(to_pdf)
    , pdf_path_(QFileInfo(pdf_path).absoluteFilePath())
{
    if (to_pdf) {
        if (QFileInfo(pdf_path_).isDir()) {
            error_ = QStringLiteral("The file %1 could not be written: a folder has that name.").arg(pdf_path_);
            return;
        }
        pages_ = std::make_unique<QSaveFile>(pdf_path_);
        if (!pages_->open(QIODevice::WriteOnly)) {
            error_ = QStringLiteral("The file %1 could not be written: %2.").arg(pdf_path_, pages_->errorString());
            return;
        }
        // The PDF writer opens a file by its name: the unnamed file's descriptor has one.
        printer_.setOutputFormat(QPrinter::PdfFormat);
        printer_.setOutputFileName(QStringLiteral("/proc/self/fd/%1").arg(pages_->handle()));
    } else if (QPrinterInfo::availablePrinterNames().isEmpty() || printer_.outputFormat() != QPrinter::NativeFormat) {
        // Without a printer a default QPrinter quietly turns into a PDF writer with no file.
        error_ = QStringLiteral("No printer is available.");
        no_printer_ = true;
        return;
    }
    state_ = state::ready;
}

bool painter_job::begin_painting()
{
    if (state_ == state::painting)
        return true;
    if (state_ != state::ready)
        return false;
    if (painter_.begin(&printer_)) {
        state_ = state::painting;
        return true;
    }
    state_ = state::failed;
    if (to_pdf_)
        error_ = QStringLiteral("The file %1 could not be written.").arg(pdf_path_);
    else
        error_ = QStringLiteral("The printer \"%1\" did not accept the job.").arg(printer_.printerName());
    return false;
}

qreal painter_job::page_scale(int number_growth)
{
    const QFontMetricsF fm(grid_font(), &printer_);
    const qreal grid_width
        = (grid_layout::es_text2.left + grid_layout::es_text2.width + number_growth) * fm.averageCharWidth() / 32.0;
    return grid_width > 0 ? printer_.width() / grid_width : 1.0;
}

void painter_job::print_text(const QString& text)
{
    if (begin_painting())
        lay_out_text(text, cursor_, true);
}

long painter_job::lay_out_text(const QString& text, qreal& cursor, bool paint)
{
    // The header's letters are the grid's, as large as the grid's on the page.
    QFont font = grid_font();
    font.setPointSizeF(grid_layout::font_points * page_scale(0));
    if (paint) {
        painter_.setFont(font);
        painter_.setPen(Qt::black);
    }
    const QFontMetricsF fm(font, &printer_);
    const qreal line_height = fm.lineSpacing();
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    long pages = 0;
    for (const QString& line : lines) {
        if (cursor > 0 && cursor + line_height > printer_.height()) {
            ++pages;
            cursor = 0;
            if (paint)
                printer_.newPage();
        }
        // A line wider than the page is cut in the middle, so a path keeps its file name.
        if (paint) {
            painter_.drawText(QRectF(0, cursor, printer_.width(), line_height),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, elide_path(line, fm, printer_.width()));
        }
        cursor += line_height;
    }
    return pages;
}

painter_job::grid_scale painter_job::grid_metrics(long rows)
{
    grid_scale g;
    g.regular = grid_font();
    // The units of the designs, taken from the grid's font as this printer renders it; the grid
    // then fills the printable width, enlarged or shrunk as a whole, fonts included, so that
    // it keeps the proportions it has on screen.
    const QFontMetricsF fm(g.regular, &printer_);
    g.x = fm.averageCharWidth() / 32.0;
    g.y = fm.height() / 64.0;
    const qreal number_width = fm.horizontalAdvance(QString::number(rows)) + fm.averageCharWidth();
    g.number_growth = grid_layout::number_growth(static_cast<int>(std::ceil(number_width / g.x)));
    const qreal scale = page_scale(g.number_growth);
    g.x *= scale;
    g.y *= scale;
    g.regular.setPointSizeF(grid_layout::font_points * scale);
    g.bold = g.regular;
    g.bold.setWeight(QFont::Bold);
    return g;
}

QRectF painter_job::cell_rect(const grid_layout::cell& cell, qreal line_top, const grid_scale& g) const
{
    return QRectF(cell.left * g.x, line_top + cell.top * g.y, cell.width * g.x, cell.height * g.y);
}

QRectF painter_job::detail_rect(int column, qreal line_top, const grid_scale& g) const
{
    grid_layout::cell c = grid_layout::detail_cells[column];
    if (column == 0)
        c.width += g.number_growth;
    else
        c.left += g.number_growth;
    return cell_rect(c, line_top, g);
}

void painter_job::paint_row(long number, const core::row_source& rows, qreal top, const grid_scale& g)
{
    const QRectF number_cell = detail_rect(0, top, g);
    painter_.fillRect(number_cell, light_grey());
    painter_.setFont(g.regular);
    painter_.drawText(number_cell, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, QString::number(number));
    // A text too long for its cell ends in "…"; a source label is cut in the middle instead, so
    // that its file name shows.
    const QFontMetricsF fm(g.regular, &printer_);
    const QRectF text = detail_rect(1, top, g);
    const QRectF text2 = detail_rect(2, top, g);
    painter_.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        fm.elidedText(text_of(rows.es_text(number)), Qt::ElideRight, text.width()));
    painter_.drawText(text2, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
        elide_path(text_of(rows.es_text2(number)), fm, text2.width()));
}

void painter_job::paint_total(long count, qreal top, const grid_scale& g)
{
    const QRectF label = cell_rect(grid_layout::total_label, top, g);
    const QRectF number = cell_rect(grid_layout::total_count, top, g);
    painter_.fillRect(label, Qt::white);
    painter_.fillRect(number, Qt::white);
    painter_.setFont(g.bold);
    painter_.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QStringLiteral("Total :"));
    painter_.setFont(g.regular);
    painter_.drawText(number, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::number(count));
}

void painter_job::print_rows(const core::row_source& rows, int margin_top)
{
    if (begin_painting())
        lay_out_rows(rows, margin_top, cursor_, true);
}

long painter_job::lay_out_rows(const core::row_source& rows, int margin_top, qreal& cursor, bool paint)
{
    const long count = rows.count();
    const grid_scale g = grid_metrics(count);
    if (paint)
        painter_.setPen(Qt::black);

    core::list_page_metrics m;
    m.page_height = static_cast<int>(std::floor(printer_.height() / g.y));
    m.margin_top = margin_top;
    m.used = static_cast<int>(std::ceil(cursor / g.y));
    m.detail_height = grid_layout::detail_height;
    m.total_height = grid_layout::total_height;

    long pages = 0;
    for (const core::list_page& page : core::lay_out_list(count, m)) {
        if (page.new_page) {
            ++pages;
            if (paint)
                printer_.newPage();
        }
        qreal top = page.top * g.y;
        if (paint) {
            for (long i = 0; i < page.row_count; ++i) {
                paint_row(page.first_row + i, rows, top, g);
                top += grid_layout::detail_height * g.y;
            }
            // The window paints and hears Cancel between pages; a cancelled job stops here.
            core::work::advance(static_cast<std::uint64_t>(page.row_count));
            long_work::step();
            if (core::work::stop_asked())
                return pages;
        } else {
            top += page.row_count * grid_layout::detail_height * g.y;
        }
        if (page.total) {
            if (paint)
                paint_total(count, top, g);
            top += grid_layout::total_height * g.y;
        }
        cursor = top;
    }
    return pages;
}

long painter_job::page_count(const QString& text, const core::row_source& rows, int margin_top)
{
    if (!is_open())
        return 0;
    qreal cursor = cursor_;
    const long pages = lay_out_text(text, cursor, false);
    return 1 + pages + lay_out_rows(rows, margin_top, cursor, false);
}

void painter_job::close()
{
    if (state_ == state::ready)
        state_ = state::ended; // nothing was printed: nothing is sent, no file is written
    if (state_ != state::painting)
        return;
    state_ = state::ended;
    if (!painter_.end()) {
        error_ = to_pdf_ ? QStringLiteral("The file %1 could not be written.").arg(pdf_path_)
                         : QStringLiteral("The printer \"%1\" did not accept the job.").arg(printer_.printerName());
        return;
    }
    if (to_pdf_)
        take_pdf_name();
}

void painter_job::take_pdf_name()
{
    // Saved whole, as Save As saves: the file keeps its owner and rights and is on the disk
    // before it takes the name.
    if (!pages_->commit())
        error_ = QStringLiteral("The file %1 could not be written: %2.").arg(pdf_path_, pages_->errorString());
}

void painter_job::cancel()
{
    if (state_ == state::painting) {
        // A file's pages are dropped with their own file; paper that has begun is called back.
        if (!to_pdf_)
            printer_.abort();
        painter_.end();
    }
    state_ = state::ended;
}

void painter_job::abandon()
{
    state_ = state::ended; // an abandoned job is not ended
    (void)owned_painter_.release();
    (void)owned_printer_.release();
}

} // namespace

long print_job::page_count(const QString&, const core::row_source&, int)
{
    return 0;
}

void print_job::print_grid(const core::grid_rows& rows)
{
    print_rows(rows, rows.print_margin_top());
}

void prepare_printing()
{
    // A printer made once sets up what every later job shares: the printer support and the
    // printer information Qt keeps for the session.
    const QPrinter printer;
    QPrinterInfo::availablePrinterNames();
}

std::unique_ptr<print_job> open_printer_job()
{
    return std::make_unique<painter_job>(false, QString());
}

std::unique_ptr<print_job> open_pdf_job(const QString& path)
{
    return std::make_unique<painter_job>(true, path);
}

std::unique_ptr<print_job> printopen()
{
    if (const auto stand_in = print_job_seam().stand_in())
        return (*stand_in)();
    return open_printer_job();
}

core::seam<print_job_factory>& print_job_seam()
{
    static core::seam<print_job_factory> seam;
    return seam;
}

} // namespace rt
