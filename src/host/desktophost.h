#pragma once

#include "host.h"

#include <QPointer>
#include <QWidget>

struct ca_context;

// The host on a Linux desktop: libcanberra for sounds, the session bus for
// notifications and the file manager, GIO for default applications.
class DesktopHost : public Host
{
public:
    DesktopHost();
    ~DesktopHost() override;

    void setWindow(QWidget* window) { mWindow = window; }

    void playSound(const QString& name) override;
    void requestAttention(const QString& summary, const QString& body) override;
    void revealFile(const QString& path) override;
    bool openFile(const QString& path) override;
    void openFilesEach(const QStringList& paths) override;
    bool openURL(const QUrl& url) override;
    void showRunProgress(double fraction, int count, bool visible) override;

    // Where the task bar's progress comes from on the session bus.
    static constexpr const char* kLauncherEntryPath = "/io/github/stepgrab/LauncherEntry";

private:
    QPointer<QWidget> mWindow;
    ca_context* mSound = nullptr;
};
