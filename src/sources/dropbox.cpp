#include "dropbox.h"

#include "app/mainpanel.h"
#include "host/localized.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

namespace {

// Files go to the window as bookmarks; a link dragged out of a browser is taken as an address.
QStringList droppedFiles(const QMimeData* data)
{
    QStringList paths;
    if (!data)
        return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

} // namespace

DropBox::DropBox(QWidget* parent) : QLabel(parent)
{
    setToolTip(localized("DropBoxTips"));
    setAlignment(Qt::AlignCenter);
    setAcceptDrops(true);
}

void DropBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFiles(event->mimeData()).isEmpty() &&
        MainPanel::draggedLink(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    // Loaded on each entry: the well holds no image between drags.
    setPixmap(QPixmap(QStringLiteral(":/Stepgrab/drop.png")));
    event->acceptProposedAction();
}

void DropBox::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void DropBox::dragLeaveEvent(QDragLeaveEvent* event)
{
    clear();
    event->accept();
}

void DropBox::dropEvent(QDropEvent* event)
{
    clear();
    auto* panel = qobject_cast<MainPanel*>(window());
    const QStringList files = droppedFiles(event->mimeData());
    if (panel && (files.isEmpty() ? panel->performLinkDrop(event->mimeData())
                                  : panel->performDragOperation(files)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DropBox::paintEvent(QPaintEvent* event)
{
    if (!pixmap().isNull()) {
        QLabel::paintEvent(event);
        return;
    }
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
