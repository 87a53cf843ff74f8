#include "mainpanel.h"

#include "address/fileelement.h"
#include "ui_mainpanel.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

MainPanel::MainPanel(QWidget* parent) : QMainWindow(parent), mUi(new Ui::MainPanel)
{
    mUi->setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The installed theme's icon where there is one (a theme may draw its own), else ours.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("stepgrab"),
                                   QIcon(QStringLiteral(":/Stepgrab/stepgrab.svg"))));
    // Files dragged over the window, outside the drop box, are seen and refused, so the
    // pointer says that only the box takes them; a link is taken anywhere. The fields take no
    // drop of their own: a link dragged onto one is the window's, and other text would land
    // in the middle of what they hold.
    setAcceptDrops(true);
    for (QWidget* field : {mUi->mLocation, mUi->mFileName, mUi->mNumber, mUi->mExtension})
        field->setAcceptDrops(false);
    // One line high whether empty or not, so that its changes never lay the window out again.
    mUi->mProgressLine->setFixedHeight(mUi->mProgressLine->fontMetrics().height());
    mUi->mProgressLine->installEventFilter(this);
}

MainPanel::~MainPanel()
{
    delete mUi;
}

void MainPanel::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    event->accept();
}

// The focus widget saw the key first and left it to the shortcuts.
bool MainPanel::event(QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride)
        emit shortcutAboutToMatch();
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked)
        emit blockedChanged();
    return QMainWindow::event(event);
}

void MainPanel::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    emit frameChanged();
}

void MainPanel::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    emit frameChanged();
}

void MainPanel::dragEnterEvent(QDragEnterEvent* event)
{
    if (draggedLink(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void MainPanel::dragMoveEvent(QDragMoveEvent* event)
{
    if (draggedLink(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void MainPanel::dropEvent(QDropEvent* event)
{
    if (performLinkDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

QString MainPanel::draggedLink(const QMimeData* data)
{
    if (!data)
        return {};
    if (data->hasUrls()) {
        const QList<QUrl> urls = data->urls();
        if (urls.isEmpty() || urls.first().isLocalFile())
            return {};
        return QString::fromUtf8(urls.first().toEncoded());
    }
    const QString text = data->text().trimmed();
    if (text.isEmpty() || text.contains(QRegularExpression(QStringLiteral("\\s"))))
        return {};
    return text;
}

bool MainPanel::performLinkDrop(const QMimeData* data)
{
    const QString link = draggedLink(data);
    if (link.isEmpty())
        return false;
    emit linkDropped(link);
    return true;
}

bool MainPanel::performDragOperation(const QStringList& paths)
{
    if (paths.isEmpty())
        return false;
    const QString& path = paths.first();
    // A folder named like a bookmark passes: reading it finds no address and changes nothing.
    // Any letter case: Save Bookmark keeps "Links.URL" as the user typed it.
    if (!QFileInfo::exists(path) ||
        address::pathExtension(path).compare(QLatin1String("url"), Qt::CaseInsensitive) != 0)
        return false;
    emit fileDropped(path);
    return true;
}

void MainPanel::setProgressLine(const QString& text)
{
    mProgressText = text;
    elideProgressLine();
}

bool MainPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mUi->mProgressLine && event->type() == QEvent::Resize)
        elideProgressLine();
    return QMainWindow::eventFilter(watched, event);
}

void MainPanel::elideProgressLine()
{
    QLabel* line = mUi->mProgressLine;
    const QString shown =
        line->fontMetrics().elidedText(mProgressText, Qt::ElideMiddle, line->width());
    line->setText(shown);
    line->setToolTip(shown == mProgressText ? QString() : mProgressText);
}
