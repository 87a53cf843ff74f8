#include "app/controller.h"
#include "sources/bookmark.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>

void Controller::obtaion_from_clip()
{
    // A run counts the element that the fields show, and they are locked while it lasts: a
    // pasted address now would change the series under it.
    if (!allows(Command::Clip))
        return;
    // Taken whole: an empty clipboard or one with other content reads as no address.
    acceptAddress(QGuiApplication::clipboard()->text(), "FailurePasteURL");
}

void Controller::copyFullAddress()
{
    if (!allows(Command::CopyAddress))
        return;
    // The fields as they stand, as a bookmark of them would hold the address.
    QGuiApplication::clipboard()->setText(mLocation->text() + u'/' + mFileName->text() +
                                          mNumber->text() + u'.' + mExtension->text());
}

bool Controller::dropURLWithFile(const QString& path)
{
    // For the same reason a dropped bookmark waits for no run: it is refused while one lasts.
    if (!allows(Command::Drop))
        return false;
    const std::optional<QString> address = bookmark::readFile(path);
    if (!address)
        return false;
    // A bookmark speaks for itself: one without a web address clears the fields silently.
    acceptAddress(*address, nullptr);
    return true;
}

void Controller::dropURLWithLink(const QString& text)
{
    if (allows(Command::Drop))
        acceptAddress(text, "FailurePasteURL");
}
