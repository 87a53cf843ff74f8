#pragma once

#include "readers/browserreader.h"

#include <QString>
#include <QStringView>

// Which reader answers for the desktop's default web browser.
namespace bridge {

enum class BrowserFamily { Unknown, Firefox, Chromium };

// The family of a browser from its desktop file name ("firefox-esr.desktop",
// "org.chromium.Chromium.desktop" ...), as xdg-settings names it.
BrowserFamily browserFamilyOfDesktopFile(QStringView desktopFile);

// The desktop file of the default web browser as `xdg-settings get default-web-browser`
// tells it; empty when it does not answer within timeoutMs or fails.
QString defaultBrowserDesktopFile(int timeoutMs = 3000);

// The windows of the family's browser. A browser of no known family may still keep its
// state where one of the readers looks (a rebuilt Firefox, a Chromium under another name):
// the one that runs answers, Firefox asked first.
Windows readBrowserOfFamily(BrowserFamily family, BrowserReader& firefox, BrowserReader& chromium);

} // namespace bridge
