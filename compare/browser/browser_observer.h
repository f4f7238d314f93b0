#pragma once
// Lets a test see where the browser sends each selected file, whatever the loading does.

#include <QString>

#include <functional>

namespace browser {

// Called with the pane number and is_file just before a file selection loads it.
using pane_load_observer = std::function<void(int pane, const QString& file)>;

// Installs `observer` (an empty one removes it).
void set_pane_load_observer(pane_load_observer observer);

// Tells the observer, if there is one.
void notify_pane_load(int pane, const QString& file);

} // namespace browser
