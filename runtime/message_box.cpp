#include "runtime/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace rt {

core::seam<message_box_hook>& message_box_seam()
{
    static core::seam<message_box_hook> seam;
    return seam;
}

void messagebox(const QString& caption, const QString& text)
{
    if (const auto stand_in = message_box_seam().stand_in()) {
        (*stand_in)(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    // The text may name a file, whose name is no markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace rt
