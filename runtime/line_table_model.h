#pragma once
// A line table as an item model of three columns: the row's number in the current order,
// es_text and es_text2. It holds nothing per row and reads the store only for the cells a view
// asks for, so a table of millions of rows costs the view no more than a table of ten.

#include "compare/linetable/line_table.h"

#include <QAbstractTableModel>
#include <QFont>

namespace rt {

class line_table_model : public QAbstractTableModel, private core::table_observer {
    Q_OBJECT
public:
    enum column_index { number_column = 0, text_column = 1, text2_column = 2 };

    // The most bytes of a cell's text handed out for display. A cell shows a few hundred
    // characters at most; handing out a whole 200 MB line would lay it out on every paint.
    static constexpr int display_limit = 4096;

    // Follows `table` from now on; the table must outlive the model.
    explicit line_table_model(core::line_table& table, QObject* parent = nullptr);
    ~line_table_model() override;

    core::line_table& table() const { return *table_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rows_about_to_change() override;
    void rows_changed() override;
    int rows_of_table() const;

    core::line_table* table_;
    int rows_ = 0;
    bool resetting_ = false;
    QFont font_;
};

} // namespace rt
