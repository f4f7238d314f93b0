// TEMPORARY STUB — replaced by the real implementation.
#include "runtime/grid_pane.h"
#include <QAbstractItemModel>
#include <QDragEnterEvent>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>
namespace rt {
class line_table_model {};
grid_pane::grid_pane(QWidget* parent) : QFrame(parent) {
  view_ = new QTableView(this); total_label_ = new QLabel(QStringLiteral("Total :"), this); count_label_ = new QLabel(this);
  auto* l = new QVBoxLayout(this); l->addWidget(view_); l->addWidget(total_label_); setFocusProxy(view_);
}
grid_pane::~grid_pane() = default;
QAbstractItemModel* grid_pane::model() const { return nullptr; }
void grid_pane::accept_drops_from(QObject* s) { drop_source_ = s; }
void grid_pane::dragEnterEvent(QDragEnterEvent*) {}
void grid_pane::dragMoveEvent(QDragMoveEvent*) {}
void grid_pane::dropEvent(QDropEvent*) {}
void grid_pane::update_total() {}
}
