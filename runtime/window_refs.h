#pragma once
// The global window references: one per window class, named like the class. C++ cannot give a
// variable the name of a class in the same scope, so they live together in this one registry.

#include <QPointer>

class w_frame;
class w_diff;
class w_splash;
class w_print_option;

namespace rt {

struct window_refs {
    QPointer<::w_frame> w_frame;
    QPointer<::w_diff> w_diff;
    QPointer<::w_splash> w_splash;
    QPointer<::w_print_option> w_print_option;
};

// The process's references; a reference is null while its window is not open.
window_refs& windows();

} // namespace rt
