#include "app/controller.h"
#include "app/mainpanel.h"

#include <QDialog>
#include <QTextEdit>

void Controller::createTextSheet()
{
    mSheet_Text = new QDialog(mMainWindow);
    mText_url = new QTextEdit(mSheet_Text);
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
