#include "runtime/text_label.h"

#include "runtime/path_elide.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QTextDocument>
#include <QToolTip>

namespace rt {

text_label::text_label(const QString& text, QWidget* parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(text);
}

QRect text_label::text_rect() const
{
    // Where QLabel puts a line of plain text: inside the frame and margin, indented from a
    // frame by half an "x" unless an indent is set.
    QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    int indent_px = indent();
    if (indent_px < 0)
        indent_px = frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 : 0;
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    if (align & Qt::AlignLeft)
        r.setLeft(r.left() + indent_px);
    else if (align & Qt::AlignRight)
        r.setRight(r.right() - indent_px);
    return r;
}

QString text_label::shown_text() const
{
    return elide_path(text(), QFontMetricsF(font()), text_rect().width());
}

void text_label::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, text_rect(), QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
        isEnabled(), shown_text(), foregroundRole());
}

bool text_label::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        // Escaped, so that a tooltip shows markup in a name as the characters they are.
        if (text().isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                Qt::convertFromPlainText(text(), Qt::WhiteSpaceNoWrap), this);
        return true;
    }
    return QLabel::event(event);
}

} // namespace rt
