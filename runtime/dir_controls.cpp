// TEMPORARY STUB — replaced by the real implementation.
#include "runtime/dir_controls.h"
namespace rt {
listbox::listbox(QWidget* p) : QListWidget(p) {}
bool listbox::dirlist(const QString&, unsigned) { return false; }
bool listbox::dirselect(QString&) const { return false; }
int listbox::selectitem(const QString&, int) { return 0; }
QString listbox::text(int) const { return {}; }
void listbox::set_dragicon(const QString& p) { dragicon_ = p; }
void listbox::mousePressEvent(QMouseEvent* e) { QListWidget::mousePressEvent(e); }
void listbox::mouseReleaseEvent(QMouseEvent* e) { QListWidget::mouseReleaseEvent(e); }
void listbox::mouseMoveEvent(QMouseEvent* e) { QListWidget::mouseMoveEvent(e); }
dropdownlistbox::dropdownlistbox(QWidget* p) : QComboBox(p) {}
bool dropdownlistbox::dirlist(const QString&, unsigned) { return false; }
int dropdownlistbox::selectitem(const QString&, int) { return 0; }
QString dropdownlistbox::text(int) const { return {}; }
}
