#include "app/controller.h"
#include "host/localized.h"

#include <QLineEdit>

namespace {

void showElement(const FileElement& e, QLineEdit* location, QLineEdit* fileName, QLineEdit* number,
                 QLineEdit* extension)
{
    location->setText(e.location);
    fileName->setText(e.fileName);
    number->setText(e.number);
    extension->setText(e.extension);
}

} // namespace

void Controller::enter_location()
{
    // A locked field still reports Return; during a run the address is not the user's to change.
    if (mLocation->isReadOnly() || !allows(Command::EnterLocation))
        return;
    takeAddress(mLocation->text());
}

void Controller::takeAddress(const QString& typed)
{
    // A typed address passes the steps every source's does, with its own alert.
    acceptAddress(typed, "InvalidURLInfo");
}

bool Controller::parseFileElement(const QString& address)
{
    return applyAddress(address, false);
}

bool Controller::setupLocation(const QString& address)
{
    return applyAddress(address, true);
}

// The whole element changes in one step, so a running worker never counts a mix
// of the old address and the new.
bool Controller::applyAddress(const QString& address, bool withLocation)
{
    const address::Split split = address::parseFileElement(address);
    FileElement e = mElement.get();
    e.fileName = split.fileName;
    e.number = split.number;
    e.extension = split.extension;
    if (withLocation && split.countable)
        e.location = address::locationOf(address);
    mIntFileNumber = split.number;
    mElement.set(e);
    showElement(e, mLocation, mFileName, mNumber, mExtension);
    return split.countable;
}

QString Controller::createDownloadFileElement() const
{
    return address::fullAddress(mElement.get());
}

void Controller::setupDownloadFileNumber()
{
    showNumber(mElement.countUp().number);
}

void Controller::showNumber(const QString& number)
{
    mNumber->setText(number);
}
