#pragma once
// The current date and time, and their text forms. The clock goes through a seam so that tests
// can fix the moment.

#include "runtime/core/seam.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace rt {

// The current local date and time, or the test's moment when a stand-in is set.
QDateTime now();

// The locale's short text forms of a date and a time.
QString date_text(const QDate& date);
QString time_text(const QTime& time);

using clock_hook = std::function<QDateTime()>;
// The seam through which tests fix the moment.
core::seam<clock_hook>& clock_seam();

} // namespace rt
