#include "readers/browserprofiles.h"
#include "readers/browserreader.h"
#include "readers/chromium.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>
#include <unistd.h>

namespace bridge {
namespace {

constexpr int kDevToolsTimeoutMs = 2000;
constexpr qint64 kMaxDevToolsAnswer = 4 * 1024 * 1024;
// A session file is rewritten from scratch when it grows; one this large is not Chromium's.
constexpr qint64 kMaxSessionFile = 64 * 1024 * 1024;

// The page targets of the DevTools endpoint on 127.0.0.1:port; none when nothing answers there.
std::optional<QStringList> devToolsPages(int port)
{
    if (port <= 0 || port > 65535)
        return std::nullopt;
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port)));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kDevToolsTimeoutMs);
    QNetworkReply* reply = manager.get(request);
    QByteArray body;
    bool tooLarge = false;
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
        body += reply->read(kMaxDevToolsAnswer + 1 - body.size());
        if (body.size() > kMaxDevToolsAnswer) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bound.start(kDevToolsTimeoutMs);
    if (!reply->isFinished())
        loop.exec();
    if (!tooLarge && reply->isOpen())
        body += reply->read(kMaxDevToolsAnswer + 1 - body.size());
    const bool answered = reply->error() == QNetworkReply::NoError && !tooLarge &&
                          body.size() <= kMaxDevToolsAnswer &&
                          reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    delete reply;
    if (!answered)
        return std::nullopt;
    return parseDevToolsList(body);
}

// Whether the browser holding the profile's user-data folder (its parent, where the lock sits)
// is running.
bool profileInUse(const QString& profile)
{
    return chromiumUserDataInUse(QFileInfo(profile).absoluteDir().absolutePath());
}

// The profile of the Chromium-family browser that runs, of any install: a folder left by one
// not in use must not hide another.
QString runningDefaultProfile()
{
    for (const profiles::Profile& profile :
         profiles::installedProfiles(profiles::Family::Chromium)) {
        if (profile.inUse)
            return profile.path;
    }
    return {};
}

class ChromiumReader : public BrowserReader
{
public:
    explicit ChromiumReader(const Options& options) : m_options(options) {}

    Windows read() override
    {
        if (std::optional<QStringList> pages = devToolsPages(m_options.devtoolsPort))
            return Windows{true, *pages};

        const QString profile = m_options.chromiumProfile.isEmpty() ? runningDefaultProfile()
                                                                    : m_options.chromiumProfile;
        if (profile.isEmpty() || !profileInUse(profile))
            return {};

        Windows windows;
        windows.running = true;
        // Part of a session would name the windows as they were, not as they are.
        const std::optional<QByteArray> bytes =
            readBounded(chromiumSessionFile(profile), kMaxSessionFile);
        if (!bytes)
            return windows;
        if (std::optional<QStringList> addresses = parseChromiumSession(*bytes))
            windows.addresses = *addresses;
        return windows;
    }

private:
    Options m_options;
};

} // namespace

QString chromiumSessionFile(const QString& profileDir)
{
    const QDir sessions(profileDir + QLatin1String("/Sessions"));
    QString newest;
    qulonglong newestNumber = 0;
    QDateTime newestTime;
    const QFileInfoList files =
        sessions.entryInfoList({QStringLiteral("Session_*")}, QDir::Files, QDir::NoSort);
    for (const QFileInfo& info : files) {
        // The number is the time the file was started; equal or unreadable numbers fall back
        // to the modification time.
        bool ok = false;
        const qulonglong number = info.fileName().mid(8).toULongLong(&ok);
        const QDateTime time = info.lastModified();
        const bool newer = newest.isEmpty() || (ok && number > newestNumber) ||
                           ((!ok || number == newestNumber) && time > newestTime);
        if (newer) {
            newest = info.filePath();
            newestNumber = ok ? number : newestNumber;
            newestTime = time;
        }
    }
    if (!newest.isEmpty())
        return newest;
    const QString older = profileDir + QLatin1String("/Current Session");
    return QFileInfo(older).isFile() ? older : QString();
}

std::optional<qint64> chromiumLockHolder(const QString& userDataDir)
{
    const QByteArray lock = QFile::encodeName(userDataDir + QLatin1String("/SingletonLock"));
    char target[256];
    const ssize_t length = ::readlink(lock.constData(), target, sizeof target);
    if (length <= 0 || length >= ssize_t(sizeof target))
        return std::nullopt;
    const QString name = QString::fromLocal8Bit(target, length);
    const qsizetype dash = name.lastIndexOf(QLatin1Char('-'));
    if (dash <= 0 || name.left(dash) != QSysInfo::machineHostName())
        return std::nullopt;
    bool ok = false;
    const qint64 pid = name.mid(dash + 1).toLongLong(&ok);
    if (!ok || pid <= 0)
        return std::nullopt;
    return pid;
}

bool chromiumUserDataInUse(const QString& userDataDir)
{
    const std::optional<qint64> holder = chromiumLockHolder(userDataDir);
    return holder && isProcessAlive(*holder);
}

std::unique_ptr<BrowserReader> makeChromiumReader(const Options& options)
{
    return std::make_unique<ChromiumReader>(options);
}

} // namespace bridge
