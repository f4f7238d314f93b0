#pragma once
// Events by name, as the menu, the buttons and the frame's relays raise them.

#include <QObject>

// Marks a window's own event, a slot without arguments that triggerevent may run by name:
//     public slots:
//         RT_EVENT void ue_print();
// Every other slot, the ones a window inherits from Qt included ("hide", "close",
// "deleteLater"), is no event of the window.
#ifndef Q_MOC_RUN
#define RT_EVENT
#endif

namespace rt {

// Runs the event called `name` of `target` at once, on this thread, and returns 1; returns -1,
// silently, when `target` is null or has no event of that name.
int triggerevent(QObject* target, const char* name);

} // namespace rt
