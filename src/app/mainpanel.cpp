#include "mainpanel.h"

#include "ui_mainpanel.h"

#include <QCloseEvent>

MainPanel::MainPanel(QWidget* parent) : QMainWindow(parent), mUi(new Ui::MainPanel)
{
    mUi->setupUi(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
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
