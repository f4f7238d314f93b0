#pragma once
// The program's icon, two overlapping pages at every rendered size, for every window.

#include <QIcon>

namespace rt {

QIcon app_icon();

} // namespace rt
