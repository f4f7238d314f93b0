#pragma once
// Cutting a path that does not fit: the middle goes, so that the drive at its start and the
// file name at its end both stay in view ("c:\home\…\customers-north.txt").

#include <QFontMetricsF>
#include <QString>

namespace rt {

// `text` as wide as `width` at most in `metrics`: whole when it fits; else with the folders
// after its start replaced by "…" so that its last name shows whole; when even the name cannot
// show whole, the folders go ("…\cust…north.txt") and the name is cut in its middle.
QString elide_path(const QString& text, const QFontMetricsF& metrics, qreal width);

} // namespace rt
