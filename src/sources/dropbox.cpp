#include "dropbox.h"

#include "host/localized.h"

#include <QPainter>
#include <QPainterPath>

DropBox::DropBox(QWidget* parent) : QLabel(parent)
{
    setToolTip(localized("DropBoxTips"));
}

void DropBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(3, 3, -3, -3);
    const QColor ink = palette().color(QPalette::Mid);
    painter.setPen(QPen(ink, 1.5, Qt::DashLine));
    painter.drawRoundedRect(box, 6, 6);
    // A downward arrow into a tray.
    const QPointF c = box.center();
    const qreal s = box.width() / 6;
    QPainterPath arrow;
    arrow.moveTo(c.x(), c.y() - 2 * s);
    arrow.lineTo(c.x(), c.y() + s);
    arrow.moveTo(c.x() - s, c.y());
    arrow.lineTo(c.x(), c.y() + s);
    arrow.lineTo(c.x() + s, c.y());
    arrow.moveTo(c.x() - 2 * s, c.y() + s);
    arrow.lineTo(c.x() - 2 * s, c.y() + 2 * s);
    arrow.lineTo(c.x() + 2 * s, c.y() + 2 * s);
    arrow.lineTo(c.x() + 2 * s, c.y() + s);
    painter.setPen(
        QPen(palette().color(QPalette::Dark), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(arrow);
}
