#include "runtime/window.h"

#include "runtime/message.h"
#include "runtime/units.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace rt {

response_window::response_window(QWidget* parent)
    : QDialog(parent)
{
    setModal(true);
    setAutoFillBackground(true);
    paint_button_face(this);
}

void response_window::closewithreturn(double value)
{
    message().doubleparm = value;
    done(QDialog::Accepted);
}

void response_window::fix_size(int width_units, int height_units)
{
    setFixedSize(units_x(width_units), units_y(height_units));
    setWindowFlags((windowFlags() | Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                       | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
        & ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint));
}

QMdiSubWindow* add_sheet(QMdiArea* area, QWidget* sheet)
{
    QMdiSubWindow* sub = area->addSubWindow(sheet);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowTitle(sheet->windowTitle());
    sub->setWindowIcon(sheet->windowIcon());
    return sub;
}

} // namespace rt
