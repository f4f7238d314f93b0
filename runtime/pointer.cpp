#include "runtime/pointer.h"

#include <QApplication>
#include <QCursor>

namespace rt {

void set_busy_pointer()
{
    if (!pointer_is_busy())
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void set_normal_pointer()
{
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

bool pointer_is_busy()
{
    return QApplication::overrideCursor() != nullptr;
}

} // namespace rt
