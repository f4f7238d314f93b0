#pragma once
// Events by name, as the menu, the buttons and the frame's relays raise them.

#include <QObject>

namespace rt {

// Runs the event (a slot without arguments) called `name` of `target` at once, on this thread,
// and returns 1; returns -1, silently, when `target` is null or has no event of that name.
int triggerevent(QObject* target, const char* name);

} // namespace rt
