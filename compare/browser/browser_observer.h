#pragma once
// Lets a test see where the browser sends each selected file, whatever the loading does.

#include "runtime/core/seam.h"

#include <QString>

#include <functional>

namespace browser {

// Called with the pane number and is_file just before a file selection loads it.
using pane_load_observer = std::function<void(int pane, const QString& file)>;

// The seam through which a test watches the loads; nobody watches while it is empty.
core::seam<pane_load_observer>& pane_load_seam();

// Tells the observer, if there is one.
void notify_pane_load(int pane, const QString& file);

} // namespace browser
