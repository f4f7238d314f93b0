#pragma once
// The message box: caption, text, information icon and one OK button. It goes through a seam
// so that tests can answer it and read what it said.

#include <QString>

#include <functional>

class QWidget;

namespace rt {

using message_box_hook = std::function<void(const QString& caption, const QString& text)>;

// Shows the box modally over the active window, or hands it to the hook when one is set.
void messagebox(const QString& caption, const QString& text);

// Replaces the real box (an empty hook brings it back); returns the hook it replaced.
message_box_hook set_message_box_hook(message_box_hook hook);

} // namespace rt
