#include "runtime/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace rt {

namespace {

message_box_hook& current_hook()
{
    static message_box_hook hook;
    return hook;
}

} // namespace

void messagebox(const QString& caption, const QString& text)
{
    if (current_hook()) {
        current_hook()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    // The text may name a file, whose name is no markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

message_box_hook set_message_box_hook(message_box_hook hook)
{
    message_box_hook old = std::move(current_hook());
    current_hook() = std::move(hook);
    return old;
}

} // namespace rt
