#pragma once
// A grid's rows as an item model of three columns: the row's number in the current order,
// es_text and es_text2. It holds nothing per row and reads the rows only for the cells a view
// asks for, so millions of rows cost the view no more than ten.

#include "runtime/core/row_source.h"

#include <QAbstractTableModel>
#include <QFont>

namespace rt {

class grid_model : public QAbstractTableModel, private core::table_observer {
    Q_OBJECT
public:
    enum column_index { number_column = 0, text_column = 1, text2_column = 2 };

    // The most bytes of a cell's text handed out for display. A cell shows a few hundred
    // characters at most; handing out a whole 200 MB line would lay it out on every paint.
    static constexpr int display_limit = 4096;

    // Follows `rows` from now on; the rows must outlive the model.
    explicit grid_model(core::grid_rows& rows, QObject* parent = nullptr);
    ~grid_model() override;

    core::grid_rows& rows() const { return *rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void rows_about_to_change() override;
    void rows_changed() override;
    int rows_shown() const;

    core::grid_rows* rows_;
    int shown_ = 0;
    bool resetting_ = false;
    QFont font_;
};

} // namespace rt
