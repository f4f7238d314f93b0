#pragma once
// A real folder tree for the browser's tests, and the user's hand on the folder list.

#include "compare/w_diff.h"
#include "runtime/dir_controls.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <string>

namespace testing {

// The compare window as the frame opens it: created, its constructors run, shown.
struct shown_window {
    w_diff w;
    shown_window()
    {
        w.constructors();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }
};

// Makes `relative` under `dir`, with its parents.
inline bool make_folder(const QTemporaryDir& dir, const QString& relative)
{
    return QDir(dir.path()).mkpath(relative);
}

// Writes `bytes` to `relative` under `dir`.
inline bool make_file(const QTemporaryDir& dir, const QString& relative, const QByteArray& bytes)
{
    QFile file(QDir(dir.path()).filePath(relative));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Writes `bytes` to the host path `path` as its bytes stand: a QString would mend a name that
// is not UTF-8.
inline bool make_file_bytes(const std::string& path, const QByteArray& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written
        = std::fwrite(bytes.data(), 1, static_cast<std::size_t>(bytes.size()), f) == std::size_t(bytes.size());
    return std::fclose(f) == 0 && written;
}

// The list's entries, one a line.
inline QString entries(const rt::listbox* list)
{
    QStringList texts;
    for (int n = 1; n <= list->count(); ++n)
        texts << list->text(n);
    return texts.join(QLatin1Char('\n'));
}

// The middle of the entry whose text is `text`, in the list's viewport; null when none is.
inline QPoint entry_point(rt::listbox* list, const QString& text)
{
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == text) {
            list->scrollToItem(list->item(row));
            return list->visualItemRect(list->item(row)).center();
        }
    }
    return QPoint();
}

// Clicks the entry as the user would; false when the list has no such entry.
inline bool click_entry(rt::listbox* list, const QString& text)
{
    const QPoint at = entry_point(list, text);
    if (at.isNull())
        return false;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    return true;
}

// Sends a mouse event to the list's viewport, with `buttons` held, as a hand on the mouse does.
inline void send_mouse(
    rt::listbox* list, QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(at), QPointF(list->viewport()->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &event);
}

} // namespace testing
