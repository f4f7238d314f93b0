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

core::seam<question_hook>& question_seam()
{
    static core::seam<question_hook> seam;
    return seam;
}

bool ask_yes_no(const QString& caption, const QString& text, bool yes_by_default)
{
    if (const auto stand_in = question_seam().stand_in())
        return (*stand_in)(caption, text);
    if (const auto box = message_box_seam().stand_in()) {
        (*box)(caption, text);
        return false;
    }
    QMessageBox box(
        QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(yes_by_default ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace rt
