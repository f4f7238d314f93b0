#include "runtime/stock_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace rt {

namespace {

enum class glyph { open, save_as, print, exit };

// Draws one 32-pixel picture; kept simple so that each stays recognisable at 16 pixels.
QPixmap draw(glyph g)
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    switch (g) {
    case glyph::open: { // an open folder
        p.setBrush(QColor(230, 190, 80));
        p.drawRect(QRectF(3, 9, 22, 17));
        p.setBrush(QColor(250, 215, 110));
        QPainterPath flap;
        flap.moveTo(3, 26);
        flap.lineTo(9, 14);
        flap.lineTo(30, 14);
        flap.lineTo(25, 26);
        flap.closeSubpath();
        p.drawPath(flap);
        break;
    }
    case glyph::save_as: { // a floppy disk with a pen stroke
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(4, 4, 22, 24));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 4, 12, 8));
        p.setBrush(QColor(210, 210, 210));
        p.drawRect(QRectF(8, 17, 14, 11));
        p.setPen(QPen(QColor(200, 60, 40), 3));
        p.drawLine(QPointF(20, 28), QPointF(30, 18));
        break;
    }
    case glyph::print: { // a printer with a sheet
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 3, 14, 10));
        p.setBrush(QColor(150, 150, 160));
        p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 20, 14, 9));
        break;
    }
    case glyph::exit: { // a door with an arrow leaving it
        p.setBrush(QColor(160, 100, 60));
        p.drawRect(QRectF(4, 3, 14, 26));
        p.setPen(QPen(QColor(190, 30, 30), 3));
        p.drawLine(QPointF(13, 16), QPointF(29, 16));
        p.drawLine(QPointF(24, 11), QPointF(29, 16));
        p.drawLine(QPointF(24, 21), QPointF(29, 16));
        break;
    }
    }
    return pm;
}

} // namespace

QIcon stock_picture(const QString& name)
{
    struct entry {
        const char* stock;
        const char* theme;
        glyph own;
    };
    static const entry table[] = {
        {"Custom050!", "document-open", glyph::open},
        {"SaveAs!", "document-save-as", glyph::save_as},
        {"Print!", "document-print", glyph::print},
        {"Exit!", "application-exit", glyph::exit},
    };
    for (const entry& e : table) {
        if (name == QLatin1String(e.stock))
            return QIcon::fromTheme(QLatin1String(e.theme), QIcon(draw(e.own)));
    }
    return QIcon();
}

} // namespace rt
