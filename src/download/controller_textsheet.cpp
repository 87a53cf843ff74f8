#include "app/controller.h"
#include "app/mainpanel.h"

#include <QDialog>

void Controller::createTextSheet()
{
    mSheet_Text = new QDialog(mMainWindow);
}

void Controller::showDownloadText()
{
}
void Controller::showDownloadTextWith(const QString&)
{
}
void Controller::setupDownloadText()
{
}
void Controller::sheet_text_ok()
{
}
void Controller::sheet_text_cancel()
{
}
void Controller::sheetShowDownloadTextDidEnd(int)
{
}
void Controller::sheet_entrance_download_all()
{
}
