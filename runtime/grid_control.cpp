#include "runtime/grid_control.h"

#include "runtime/core/utf8.h"
#include "runtime/core/work_gauge.h"
#include "runtime/grid_accessible.h"
#include "runtime/grid_layout.h"
#include "runtime/grid_model.h"
#include "runtime/long_work.h"
#include "runtime/message_box.h"
#include "runtime/units.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

namespace rt {

namespace {

// Moving to a row (a click, an arrow key) scrolls the list to it up or down only. The text band
// is wider than the pane, and Qt brings the left edge of a cell that wide to the view's, which
// pushes the row numbers out of sight.
class row_view : public QTableView {
public:
    using QTableView::QTableView;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override
    {
        const int across = horizontalScrollBar()->value();
        QTableView::scrollTo(index, hint);
        if (index.isValid() && columnWidth(index.column()) > viewport()->width())
            horizontalScrollBar()->setValue(across);
    }

protected:
    // A screen reader hears of the current row and of the choice of rows from the grid's own
    // accessible face, which numbers its cells as Qt's table view does not.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override
    {
        QAbstractItemView::currentChanged(current, previous);
        if (current.row() != previous.row())
            tell_current_row(this);
    }
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override
    {
        QAbstractItemView::selectionChanged(selected, deselected);
        tell_selection(this, selected, deselected);
    }
};

} // namespace

// Draws each cell in its designed place within its band: the grey of the row number covers
// the number cell only, not the gap beside it or the rows' spacing.
class cell_delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Units the number cell has grown by for the pane's largest row number.
    int number_growth = 0;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem placed = option;
        placed.rect = cell_rect(option.rect, index.column());
        QStyledItemDelegate::paint(painter, placed, index);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override
    {
        return QSize(band_width(index.column()), units_y(grid_layout::detail_height));
    }

    int band_width(int column) const
    {
        return units_x(grid_layout::band_width(column) + (column == 0 ? number_growth : 0));
    }

private:
    QRect cell_rect(const QRect& band, int column) const
    {
        if (column < 0 || column >= grid_layout::detail_cell_count)
            return band;
        const grid_layout::cell& c = grid_layout::detail_cells[column];
        const int width = units_x(c.width + (column == 0 ? number_growth : 0));
        return QRect(band.left(), band.top() + units_y(c.top), qMin(width, band.width()),
            qMin(units_y(c.height), band.height()));
    }
};

namespace {

void paint_white(QWidget* w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QLabel* make_total_label(QWidget* parent, const QString& text, const grid_layout::cell& c, bool bold)
{
    auto* label = new QLabel(text, parent);
    label->setFont(
        design_font(QLatin1String(grid_layout::font_face), grid_layout::font_points, bold, font_family::swiss));
    paint_white(label);
    place(label, c.left, c.top, c.width, c.height);
    return label;
}

} // namespace

grid_control::grid_control(std::unique_ptr<core::grid_rows> content, QWidget* parent)
    : QFrame(parent)
    , rows_(std::move(content))
{
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    install_grid_accessibility();

    model_ = new grid_model(*rows_, this);

    view_ = new row_view(this);
    mark_grid_view(view_);
    view_->setObjectName(QStringLiteral("rows"));
    view_->setFrameShape(QFrame::NoFrame);
    view_->setFont(
        design_font(QLatin1String(grid_layout::font_face), grid_layout::font_points, false, font_family::swiss));
    paint_white(view_);
    paint_white(view_->viewport());
    delegate_ = new cell_delegate(view_);
    view_->setItemDelegate(delegate_);
    view_->setModel(model_);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Rows are chosen as in any list (click, Shift and Ctrl with a click, Ctrl+A) to be copied.
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setShowGrid(false);
    view_->setWordWrap(false);
    view_->setTextElideMode(Qt::ElideRight);
    view_->setCornerButtonEnabled(false);
    // One tab stop: Tab leaves the pane instead of walking its cells.
    view_->setTabKeyNavigation(false);
    view_->setFocusPolicy(Qt::StrongFocus);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view_->horizontalScrollBar()->setTracking(true);
    view_->verticalScrollBar()->setTracking(true);

    // Every row has the designed height and every column its band, whatever the rows hold:
    // nothing is measured per row, which keeps millions of rows cheap.
    QHeaderView* rows = view_->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(units_y(grid_layout::detail_height));
    QHeaderView* columns = view_->horizontalHeader();
    columns->hide();
    columns->setMinimumSectionSize(1);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    for (int c = 0; c < grid_layout::detail_cell_count; ++c)
        columns->resizeSection(c, delegate_->band_width(c));

    auto* total = new QWidget(this);
    total->setObjectName(QStringLiteral("total"));
    paint_white(total);
    total->setFixedHeight(units_y(grid_layout::total_height));
    total_label_ = make_total_label(total, QStringLiteral("Total :"), grid_layout::total_label, true);
    count_label_ = make_total_label(total, QString(), grid_layout::total_count, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_);
    layout->addWidget(total);

    copy_action_ = new QAction(QStringLiteral("Copy"), view_);
    copy_action_->setShortcut(QKeySequence::Copy);
    copy_action_->setShortcutContext(Qt::WidgetShortcut);
    copy_action_->setEnabled(false);
    connect(copy_action_, &QAction::triggered, this, &grid_control::copy_selection);
    select_all_action_ = new QAction(QStringLiteral("Select All"), view_);
    select_all_action_->setShortcut(QKeySequence::SelectAll);
    select_all_action_->setShortcutContext(Qt::WidgetShortcut);
    connect(select_all_action_, &QAction::triggered, view_, &QAbstractItemView::selectAll);
    view_->addAction(copy_action_);
    view_->addAction(select_all_action_);
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        [this] { copy_action_->setEnabled(view_->selectionModel()->hasSelection()); });

    // The pane is no focus proxy for its view: Tab would stop at the pane where it was created
    // in the focus chain, not where the window's tab order puts the view.
    view_->viewport()->installEventFilter(this);

    connect(model_, &QAbstractItemModel::modelReset, this, &grid_control::update_total);
    // New rows are shown from their start, not at the place the old ones were scrolled to.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        view_->verticalScrollBar()->setValue(0);
        view_->horizontalScrollBar()->setValue(0);
    });
    update_total();
}

grid_control::~grid_control()
{
    // The model follows rows_, which die with this object's members, before QObject would
    // delete the children; it has to let go of the rows first.
    view_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

QAbstractItemModel* grid_control::model() const
{
    return model_;
}

void grid_control::accept_drops_from(QObject* source)
{
    drop_source_ = source;
    setAcceptDrops(source != nullptr);
    view_->viewport()->setAcceptDrops(source != nullptr);
}

QObject* grid_control::drag_source(const QDropEvent* event) const
{
    return event->source();
}

void grid_control::offer_drag(QDragMoveEvent* event)
{
    // A drag from outside the program has no source, so it never equals a set source.
    if (drop_source_ && drag_source(event) == drop_source_)
        event->acceptProposedAction();
    else
        event->ignore();
}

void grid_control::take_drop(QDropEvent* event)
{
    QObject* source = drag_source(event);
    if (!drop_source_ || source != drop_source_) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit dragdrop(source);
}

void grid_control::dragEnterEvent(QDragEnterEvent* event)
{
    offer_drag(event);
}

void grid_control::dragMoveEvent(QDragMoveEvent* event)
{
    offer_drag(event);
}

void grid_control::dropEvent(QDropEvent* event)
{
    take_drop(event);
}

bool grid_control::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_->viewport()) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            offer_drag(static_cast<QDragMoveEvent*>(event));
            return true;
        case QEvent::Drop:
            take_drop(static_cast<QDropEvent*>(event));
            return true;
        case QEvent::DragLeave:
            return true;
        default:
            break;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void grid_control::copy_selection()
{
    if (long_work::running())
        return;
    if (rows_->failed()) {
        messagebox(QStringLiteral("Copy"),
            QStringLiteral("Nothing was copied: the list is not complete, because the load or the compare that "
                           "made it failed."));
        return;
    }
    // The text of a whole list of millions of rows is hundreds of megabytes, twice over while it
    // becomes a string: without the memory for it the clipboard stays as it was.
    try {
        const std::vector<std::pair<int, int>> runs = chosen_runs();
        QString text;
        {
            // The text of millions of rows takes a while: made aside while the window paints.
            long_work work(QStringLiteral("Copying the chosen rows..."), {1.0}, true);
            core::work::begin_stage(0, static_cast<std::uint64_t>(std::max(0L, rows_->count())));
            work.run_aside([&] { text = text_of_rows(runs); });
            if (work.cancelled())
                return; // the clipboard stays as it was
        }
        QApplication::clipboard()->setText(text);
    } catch (const std::bad_alloc&) {
        messagebox(QStringLiteral("Copy"),
            QStringLiteral("There is not enough memory to copy the chosen rows. Nothing was copied."));
    }
}

std::vector<std::pair<int, int>> grid_control::chosen_runs() const
{
    // The chosen rows as runs, in the pane's order; runs may overlap.
    std::vector<std::pair<int, int>> runs;
    for (const QItemSelectionRange& range : view_->selectionModel()->selection())
        runs.emplace_back(range.top(), range.bottom());
    std::sort(runs.begin(), runs.end());
    return runs;
}

QString grid_control::text_of_rows(const std::vector<std::pair<int, int>>& runs) const
{
    QByteArray text;
    int next = 0; // the first row not yet copied
    for (const auto& [top, bottom] : runs) {
        for (int row = std::max(top, next); row <= bottom; ++row) {
            std::string_view line = rows_->es_text(row + 1L);
            const std::string_view source = rows_->es_text2(row + 1L);
            std::string shown;
            if (core::holds_byte_escapes(line))
                line = shown = core::shown(line);
            text.append(line.data(), static_cast<int>(line.size()));
            if (!source.empty()) {
                text.append('\t');
                text.append(source.data(), static_cast<int>(source.size()));
            }
            text.append('\n');
            if ((row & 0xffff) == 0xffff) {
                core::work::advance(0x10000);
                if (core::work::stop_asked())
                    return QString();
            }
        }
        next = std::max(next, bottom + 1);
    }
    return QString::fromUtf8(text);
}

void grid_control::update_total()
{
    const int rows = model_->rowCount();
    count_label_->setText(QString::number(rows));

    // The number cell is as wide as the largest row number needs, so that every number reads.
    // The view keeps a margin each side of a cell's text; half a character more covers the
    // rounding of pixels to units and back.
    const QFontMetrics fm = view_->fontMetrics();
    const int margin = 2 * (view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1);
    const int needed = fm.horizontalAdvance(QString::number(rows)) + margin + fm.averageCharWidth() / 2;
    const int growth = grid_layout::number_growth(pixels_to_units_x(needed));
    if (growth != delegate_->number_growth) {
        delegate_->number_growth = growth;
        view_->horizontalHeader()->resizeSection(0, delegate_->band_width(0));
    }
}

} // namespace rt
