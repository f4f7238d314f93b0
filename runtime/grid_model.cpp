#include "runtime/grid_model.h"

#include "runtime/core/utf8.h"
#include "runtime/grid_layout.h"
#include "runtime/units.h"

#include <QBrush>

#include <climits>

namespace rt {

namespace {

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence; bytes that could not
// be read show as U+FFFD.
QString display_text(std::string_view text, std::size_t limit)
{
    if (core::holds_byte_escapes(text))
        return display_text(core::shown(text), limit);
    if (text.size() <= limit)
        return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return QString::fromUtf8(text.data(), static_cast<int>(n)) + QChar(0x2026);
}

} // namespace

grid_model::grid_model(core::grid_rows& rows, QObject* parent)
    : QAbstractTableModel(parent)
    , rows_(&rows)
    , font_(design_font(QLatin1String(grid_layout::font_face), grid_layout::font_points, false, font_family::swiss))
{
    shown_ = rows_shown();
    rows_->set_observer(this);
}

grid_model::~grid_model()
{
    rows_->set_observer(nullptr);
}

int grid_model::rows_shown() const
{
    // Rows that report a failure count as none: they show no rows rather than a wrong number of
    // them. A view addresses rows by int, so rows beyond that cannot be shown.
    const long n = rows_->count();
    if (n <= 0)
        return 0;
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

int grid_model::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shown_;
}

int grid_model::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : grid_layout::detail_cell_count;
}

QVariant grid_model::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= shown_)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (column == number_column)
            return QString::number(index.row() + 1);
        return display_text(
            column == text_column ? rows_->es_text(index.row() + 1L) : rows_->es_text2(index.row() + 1L),
            display_limit);
    case Qt::FontRole:
        return font_;
    case Qt::BackgroundRole:
        if (column == number_column)
            return QBrush(light_grey());
        return QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags grid_model::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void grid_model::rows_about_to_change()
{
    if (resetting_)
        return;
    resetting_ = true;
    beginResetModel();
}

void grid_model::rows_changed()
{
    // A change the model was not warned of still reaches the view as a whole reset.
    if (!resetting_)
        beginResetModel();
    shown_ = rows_shown();
    resetting_ = false;
    endResetModel();
}

} // namespace rt
