#include "runtime/path_elide.h"

namespace rt {

QString elide_path(const QString& text, const QFontMetricsF& metrics, qreal width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const QString ellipsis(QChar(0x2026));
    const int last = static_cast<int>(text.lastIndexOf(QLatin1Char('\\')));
    const QString name = last >= 0 ? text.mid(last) : QString(); // with its backslash
    if (last <= 0)
        return metrics.elidedText(text, Qt::ElideMiddle, width);
    // No room for the whole name: the folders go, and the name keeps both its ends.
    if (metrics.horizontalAdvance(ellipsis + name) > width)
        return ellipsis + metrics.elidedText(name, Qt::ElideMiddle, width - metrics.horizontalAdvance(ellipsis));
    // The longest start of the folders that fits before "…" and the name.
    int keep = 0;
    for (int lo = 0, hi = last; lo <= hi;) {
        const int mid = (lo + hi) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + ellipsis + name) <= width) {
            keep = mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return text.left(keep) + ellipsis + name;
}

} // namespace rt
