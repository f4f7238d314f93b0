#pragma once
// The message box: caption, text, information icon and one OK button. It goes through a seam
// so that tests can answer it and read what it said.

#include "runtime/seam.h"

#include <QString>

#include <functional>

class QWidget;

namespace rt {

using message_box_hook = std::function<void(const QString& caption, const QString& text)>;

// Shows the box modally over the active window, or hands it to the stand-in when one is set.
void messagebox(const QString& caption, const QString& text);

// The seam through which tests answer the box.
core::seam<message_box_hook>& message_box_seam();

} // namespace rt
