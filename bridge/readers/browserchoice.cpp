#include "readers/browserchoice.h"

#include <QProcess>
#include <csignal>
#include <unistd.h>

namespace bridge {

BrowserFamily browserFamilyOfDesktopFile(QStringView desktopFile)
{
    QString name = desktopFile.trimmed().toString().toLower();
    if (name.endsWith(QLatin1String(".desktop")))
        name.chop(8);
    if (name.isEmpty())
        return BrowserFamily::Unknown;
    const auto any = [&name](std::initializer_list<const char*> prefixes) {
        for (const char* prefix : prefixes) {
            if (name.startsWith(QLatin1String(prefix)))
                return true;
        }
        return false;
    };
    // Debian's, the upstream and snap ("firefox_firefox") names, and the Flatpak ids.
    if (any({"firefox", "iceweasel", "org.mozilla.firefox", "librewolf",
             "io.gitlab.librewolf-community"}))
        return BrowserFamily::Firefox;
    if (name == QLatin1String("chrome") ||
        any({"chromium", "google-chrome", "org.chromium.chromium", "com.google.chrome", "brave",
             "com.brave.browser", "microsoft-edge", "com.microsoft.edge", "vivaldi"}))
        return BrowserFamily::Chromium;
    return BrowserFamily::Unknown;
}

QString defaultBrowserDesktopFile(int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    // xdg-settings is a script that runs helpers of its own: in a process group of its own,
    // none of them outlives the answer or the time-out.
    process.setChildProcessModifier([] { ::setsid(); });
    process.start(QStringLiteral("xdg-settings"),
                  {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!process.waitForStarted(timeoutMs))
        return {};
    const pid_t group = pid_t(process.processId());
    const bool finished = process.waitForFinished(timeoutMs);
    if (group > 0) // never 0: that would be this process's own group
        ::kill(-group, SIGKILL);
    if (!finished) {
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    // One line names the desktop file; anything longer is not an answer.
    const QByteArray output = process.readAllStandardOutput().left(4096);
    return QString::fromUtf8(
               output.left(output.indexOf('\n') < 0 ? output.size() : output.indexOf('\n')))
        .trimmed();
}

Windows readBrowserOfFamily(BrowserFamily family, BrowserReader& firefox, BrowserReader& chromium)
{
    switch (family) {
    case BrowserFamily::Firefox:
        return firefox.read();
    case BrowserFamily::Chromium:
        return chromium.read();
    case BrowserFamily::Unknown:
        break;
    }
    if (Windows windows = firefox.read(); windows.running)
        return windows;
    return chromium.read();
}

} // namespace bridge
