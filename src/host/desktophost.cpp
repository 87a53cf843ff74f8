#include "desktophost.h"

#include "gioapps.h"
#include "soundfolders.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <canberra.h>

DesktopHost::DesktopHost()
{
    if (ca_context_create(&mSound) != CA_SUCCESS)
        mSound = nullptr;
}

DesktopHost::~DesktopHost()
{
    if (mSound)
        ca_context_destroy(mSound);
}

void DesktopHost::playSound(const QString& name)
{
    if (!mSound || name.isEmpty())
        return;
    // By the file the pop-up listed, not by event id: a theme's event of the same name could
    // be another sound than the one the user heard in the preferences.
    const QString file = sounds::soundFile(name);
    if (file.isEmpty())
        return;
    ca_context_play(mSound, 0, CA_PROP_MEDIA_FILENAME, QFile::encodeName(file).constData(),
                    nullptr);
}

void DesktopHost::requestAttention(const QString& summary, const QString& body)
{
    if (mWindow)
        QApplication::alert(mWindow, 0);
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Stepgrab") << 0u << QStringLiteral("stepgrab") << summary << body
           << QStringList() << QVariantMap() << -1;
    // Where no notification server answers, the call simply fails.
    QDBusConnection::sessionBus().asyncCall(notify);
}

void DesktopHost::revealFile(const QString& path)
{
    const QString folder = QFileInfo(path).isDir() ? path : QFileInfo(path).absolutePath();
    QDBusMessage show = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    // URIs go out encoded: a file manager reads "pic 012.jpg" as an invalid URI.
    show << QStringList{QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded())} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(show));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [folder](QDBusPendingCallWatcher* w) {
                         if (w->isError())
                             QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                         w->deleteLater();
                     });
}

bool DesktopHost::openFile(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void DesktopHost::openFilesEach(const QStringList& paths)
{
    QStringList alone;
    for (const gioapps::Group& group : gioapps::groupByDefaultApplication(paths, &alone))
        if (!gioapps::launch(group.applicationId, group.paths))
            alone += group.paths;
    // The desktop's own opener may still know what GIO does not.
    for (const QString& path : std::as_const(alone))
        openFile(path);
}

bool DesktopHost::openURL(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

// The launcher-entry signal that Unity introduced and KDE Plasma's task manager, Dash to Dock,
// Plank and others read: it names the program by its installed desktop file.
void DesktopHost::showRunProgress(double fraction, int count, bool visible)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(
        QLatin1String(kLauncherEntryPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    const QVariantMap properties{
        {QStringLiteral("progress"), qBound(0.0, fraction, 1.0)},
        {QStringLiteral("progress-visible"), visible && fraction >= 0},
        {QStringLiteral("count"), qint64(count)},
        {QStringLiteral("count-visible"), visible},
    };
    update << QStringLiteral("application://stepgrab.desktop") << properties;
    bus.send(update);
}
