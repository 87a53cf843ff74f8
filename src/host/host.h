#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// What the program asks of the desktop. The desktop implementation talks to
// libcanberra, D-Bus and the MIME database; tests put a recording one in its place.
class Host
{
public:
    virtual ~Host() = default;

    // Plays the sound of that name (a sound file's name without its extension);
    // a name that finds no sound plays nothing.
    virtual void playSound(const QString& name) = 0;
    // Asks once for the user's attention after a run.
    virtual void requestAttention(const QString& summary, const QString& body) = 0;
    // Shows the file or folder selected in the file manager.
    virtual void revealFile(const QString& path) = 0;
    // Opens one file with its default application.
    virtual bool openFile(const QString& path) = 0;
    // Opens every path with its own default application, launching each application
    // once with all of its files; a file that no known application opens goes to openFile.
    virtual void openFilesEach(const QStringList& paths) = 0;
    // Shows a web address in the user's default web browser.
    virtual bool openURL(const QUrl& url) = 0;
    // Shows a run's progress on the program's entry in the desktop's task bar or dock: the
    // file's fraction (below 0 when unknown) and the files so far; hidden when not visible.
    virtual void showRunProgress(double fraction, int count, bool visible) = 0;
};
