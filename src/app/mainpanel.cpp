#include "mainpanel.h"

#include "address/fileelement.h"
#include "ui_mainpanel.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QIcon>

MainPanel::MainPanel(QWidget* parent) : QMainWindow(parent), mUi(new Ui::MainPanel)
{
    mUi->setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The installed theme's icon where there is one (a theme may draw its own), else ours.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("stepgrab"),
                                   QIcon(QStringLiteral(":/Stepgrab/stepgrab.svg"))));
    // Files dragged over the window, outside the drop box, are seen and refused, so the
    // pointer says that only the box takes them.
    setAcceptDrops(true);
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
    event->ignore();
}

void MainPanel::dragMoveEvent(QDragMoveEvent* event)
{
    event->ignore();
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
