#pragma once
// The message box: caption, text, information icon and one OK button; and the question, with
// Yes and No. Both go through seams so that tests can answer them and read what they said.

#include "runtime/core/seam.h"

#include <QString>

#include <functional>

class QWidget;

namespace rt {

using message_box_hook = std::function<void(const QString& caption, const QString& text)>;

// Shows the box modally over the active window, or hands it to the stand-in when one is set.
void messagebox(const QString& caption, const QString& text);

// The seam through which tests answer the box.
core::seam<message_box_hook>& message_box_seam();

// A question with Yes and No: true for Yes. Return presses Yes when `yes_by_default`, else No;
// Escape is No.
bool ask_yes_no(const QString& caption, const QString& text, bool yes_by_default);

using question_hook = std::function<bool(const QString& caption, const QString& text)>;
// The seam through which tests answer questions. While a test stands in for the message box
// alone, a question goes to that stand-in and is answered No, so it never waits on a screen.
core::seam<question_hook>& question_seam();

} // namespace rt
