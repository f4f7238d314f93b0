#pragma once
// The current date and time, and their text forms. The clock goes through a seam so that tests
// can fix the moment.

#include <QDateTime>
#include <QString>

#include <functional>

namespace rt {

// The current local date and time, or the test's moment when a hook is set.
QDateTime now();

// The locale's short text forms of a date and a time.
QString date_text(const QDate& date);
QString time_text(const QTime& time);

using clock_hook = std::function<QDateTime()>;
// Replaces the clock (an empty hook brings the real one back); returns the hook it replaced.
clock_hook set_clock_hook(clock_hook hook);

} // namespace rt
