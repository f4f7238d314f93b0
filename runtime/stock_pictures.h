#pragma once
// The stock toolbar pictures by name: "Custom050!", "SaveAs!", "Print!" and "Exit!". The
// desktop theme's icons are used where the theme has them, our own drawings where it does not.

#include <QIcon>
#include <QString>

namespace rt {

QIcon stock_picture(const QString& name);

} // namespace rt
