#pragma once
// The save dialog: asks for a file name and one of the offered file types. It goes through a
// seam so that tests can answer it. The real dialog keeps nothing between uses: no history and
// no settings file.

#include "runtime/core/seam.h"

#include <QList>
#include <QString>

#include <functional>

class QWidget;

namespace rt {

struct file_type {
    QString name; // "Text"
    QString extension; // "txt", without the dot
};

struct save_request {
    QString caption;
    QList<file_type> types;
    QString folder; // where the dialog opens; the home folder when empty or gone
    QString name; // the file name the dialog offers first; none when empty
};

struct save_answer {
    QString path; // empty when the user cancelled
    int type = -1; // index into the request's types
    QString error; // set when the dialog could not be shown at all
};

// Asks modally over `parent`, or hands the request to the stand-in when one is set.
save_answer ask_save_file(QWidget* parent, const save_request& request);

// `path` with the extension added when its file name has none.
QString with_extension(const QString& path, const QString& extension);

using save_dialog_hook = std::function<save_answer(const save_request&)>;
// The seam through which tests answer the dialog.
core::seam<save_dialog_hook>& save_dialog_seam();

} // namespace rt
