#pragma once
// The program's icon, two overlapping pages at 16 and 32 pixels, for every window.

#include <QIcon>

namespace rt {

QIcon app_icon();

} // namespace rt
