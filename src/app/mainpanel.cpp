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
