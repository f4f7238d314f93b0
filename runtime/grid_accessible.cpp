#include "runtime/grid_accessible.h"

#include "runtime/grid_model.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

#include <climits>

namespace rt {

namespace {

int row_count(const QTableView* view)
{
    return view && view->model() ? view->model()->rowCount() : 0;
}

int column_count(const QTableView* view)
{
    return view && view->model() ? view->model()->columnCount() : 0;
}

QString cell_text(const QTableView* view, int row, int column)
{
    return view->model()->index(row, column).data(Qt::AccessibleTextRole).toString();
}

// One cell of the rows; it holds its place, not the row, and is dropped when the rows change.
class grid_cell : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    grid_cell(QTableView* view, int row, int column)
        : view_(view)
        , row_(row)
        , column_(column)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
    }
    bool isValid() const override { return row_ < row_count(view_) && column_ < column_count(view_); }
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? cell_text(view_, row_, column_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect on_view = view_->visualRect(view_->model()->index(row_, column_));
        return on_view.translated(view_->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State st;
        if (!isValid())
            return st;
        st.selectable = true;
        st.selected = isSelected();
        const QRect shown(view_->viewport()->mapToGlobal(QPoint(0, 0)), view_->viewport()->size());
        if (!shown.intersects(rect()))
            st.invisible = true;
        return st;
    }

    bool isSelected() const override
    {
        return isValid() && view_->selectionModel()->isSelected(view_->model()->index(row_, column_));
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QPointer<QTableView> view_;
    const int row_;
    const int column_;
};

// The rows of a grid: a table of cells, a row to a line, under the pane's name. Unlike Qt's own
// table it is a widget's face, so it tells whether the keyboard is in it.
class grid_accessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit grid_accessible(QTableView* view)
        : QAccessibleWidget(view, QAccessible::Table)
    {
    }
    ~grid_accessible() override { drop_cells(); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            // The name is the pane's, which holds the rows and the total line.
            return view()->parentWidget() ? view()->parentWidget()->accessibleName() : view()->accessibleName();
        case QAccessible::Description:
            return current_row_description(view());
        default:
            return QAccessibleWidget::text(t);
        }
    }
    QAccessible::State state() const override
    {
        QAccessible::State st = QAccessibleWidget::state();
        st.extSelectable = view()->selectionMode() == QAbstractItemView::ExtendedSelection;
        return st;
    }

    int childCount() const override
    {
        const qint64 cells = qint64(row_count(view())) * column_count(view());
        return cells > INT_MAX ? INT_MAX : static_cast<int>(cells);
    }
    QAccessibleInterface* child(int index) const override
    {
        const int columns = column_count(view());
        return index >= 0 && columns > 0 ? cellAt(index / columns, index % columns) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        QAccessibleInterface* any = const_cast<QAccessibleInterface*>(child);
        const QAccessibleTableCellInterface* cell = any ? any->tableCellInterface() : nullptr;
        if (!cell || cell->table() != this)
            return -1;
        return cell->rowIndex() * column_count(view()) + cell->columnIndex();
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override
    {
        if (row < 0 || column < 0 || row >= row_count(view()) || column >= column_count(view()))
            return nullptr;
        const qint64 key = qint64(row) * column_count(view()) + column;
        const auto known = cells_.constFind(key);
        if (known != cells_.constEnd())
            return QAccessible::accessibleInterface(known.value());
        auto* cell = new grid_cell(view(), row, column);
        cells_.insert(key, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override
    {
        QList<QAccessibleInterface*> cells;
        for (const int row : selectedRows())
            for (int column = 0; column < columnCount(); ++column)
                cells << cellAt(row, column);
        return cells;
    }
    QString columnDescription(int) const override { return QString(); }
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override
    {
        // Counted by ranges: all of a long list may be chosen.
        qint64 rows = 0;
        for (const QItemSelectionRange& range : view()->selectionModel()->selection())
            rows += range.height();
        return rows > INT_MAX ? INT_MAX : static_cast<int>(rows);
    }
    int columnCount() const override { return column_count(view()); }
    int rowCount() const override { return row_count(view()); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        for (const QItemSelectionRange& range : view()->selectionModel()->selection())
            for (int row = range.top(); row <= range.bottom(); ++row)
                rows << row;
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return view()->selectionModel()->isRowSelected(row, QModelIndex()); }
    bool selectRow(int row) override { return choose_row(row, QItemSelectionModel::Select); }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override { return choose_row(row, QItemSelectionModel::Deselect); }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { drop_cells(); }

private:
    QTableView* view() const { return static_cast<QTableView*>(widget()); }

    bool choose_row(int row, QItemSelectionModel::SelectionFlags how)
    {
        if (row < 0 || row >= rowCount())
            return false;
        view()->selectionModel()->select(view()->model()->index(row, 0), how | QItemSelectionModel::Rows);
        return true;
    }

    // The rows have changed: the cells handed out name places that may be gone.
    void drop_cells()
    {
        for (const QAccessible::Id id : qAsConst(cells_))
            QAccessible::deleteAccessibleInterface(id);
        cells_.clear();
    }

    mutable QHash<qint64, QAccessible::Id> cells_;
};

constexpr const char* grid_mark = "tovik-grid-view";

QAccessibleInterface* grid_face(const QString& class_name, QObject* object)
{
    // The grid's view has no class of its own, so the control that holds it marks it.
    if (class_name != QLatin1String("QTableView") || !object->property(grid_mark).toBool())
        return nullptr;
    return new grid_accessible(static_cast<QTableView*>(object));
}

int child_of(const QModelIndex& index)
{
    return index.row() * index.model()->columnCount() + index.column();
}

} // namespace

void mark_grid_view(QTableView* view)
{
    view->setProperty(grid_mark, true);
}

void install_grid_accessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(grid_face);
        return true;
    }();
    (void)installed;
}

QString current_row_description(const QTableView* view)
{
    const int rows = row_count(view);
    if (rows == 0)
        return QStringLiteral("No rows");
    const QModelIndex current = view->currentIndex();
    if (!current.isValid())
        return rows == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(rows);
    QString told = QStringLiteral("Row %1 of %2: %3")
                       .arg(current.row() + 1)
                       .arg(rows)
                       .arg(cell_text(view, current.row(), grid_model::text_column));
    const QString source = cell_text(view, current.row(), grid_model::text2_column);
    if (!source.isEmpty())
        told += QStringLiteral(", from ") + source;
    return told;
}

void tell_current_row(QTableView* view)
{
    if (!QAccessible::isActive() || !view->hasFocus())
        return;
    QAccessibleEvent told(view, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&told);
}

void tell_selection(QTableView* view, const QItemSelection& selected, const QItemSelection& deselected)
{
    if (!QAccessible::isActive())
        return;
    // The first cell of each change, as Qt tells it: a whole list chosen is one event.
    if (!selected.isEmpty()) {
        QAccessibleEvent told(view, QAccessible::SelectionAdd);
        told.setChild(child_of(selected.first().topLeft()));
        QAccessible::updateAccessibility(&told);
    }
    if (!deselected.isEmpty()) {
        QAccessibleEvent told(view, QAccessible::SelectionRemove);
        told.setChild(child_of(deselected.first().topLeft()));
        QAccessible::updateAccessibility(&told);
    }
}

} // namespace rt
