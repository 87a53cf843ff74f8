#include "app/controller.h"
#include "download/urllist.h"
#include "host/localized.h"

#include <QTextEdit>

void Controller::downloadText()
{
    clearAllHTMLURLArray();
    const QStringList addresses = urllist::splitList(mText_url->toPlainText());
    if (addresses.isEmpty()) {
        showAlertSheet(localized("FailureGrabText"));
        return;
    }
    mHTMLURLArray = addresses;
    start_downloadText();
}

void Controller::start_downloadText()
{
}

bool Controller::startListForLaunch(const QString&)
{
    return false;
}
