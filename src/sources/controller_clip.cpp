#include "app/controller.h"
#include "sources/bookmark.h"

#include <QClipboard>
#include <QGuiApplication>

void Controller::obtaion_from_clip()
{
    // A run counts the element that the fields show, and they are locked while it lasts: a
    // pasted address now would change the series under it.
    if (isRunning())
        return;
    // Taken whole: an empty clipboard or one with other content reads as no address.
    acceptAddress(QGuiApplication::clipboard()->text(), "FailurePasteURL");
}

bool Controller::dropURLWithFile(const QString& path)
{
    // For the same reason a dropped bookmark waits for no run: it is refused while one lasts.
    if (isRunning())
        return false;
    const std::optional<QString> address = bookmark::readFile(path);
    if (!address)
        return false;
    // A bookmark speaks for itself: one without a web address clears the fields silently.
    acceptAddress(*address, nullptr);
    return true;
}
