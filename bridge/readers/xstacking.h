#pragma once

#include <QList>
#include <QString>

// The window manager's view of the display's top-level windows, as EWMH publishes it.
namespace bridge {

struct TopLevel
{
    qint64 pid = 0; // _NET_WM_PID; 0 when the window does not say
    QString title;  // _NET_WM_NAME, else a WM_NAME in Latin-1 or UTF-8
};

// The client windows in the window manager's stacking order, bottom first. Empty without an X
// display (X11 or XWayland), without a window manager that publishes the order, or on any error.
QList<TopLevel> stackedWindows();

} // namespace bridge
