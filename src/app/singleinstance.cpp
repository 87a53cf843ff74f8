#include "app/singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A client gets this long to send its line, and again to confirm the acknowledgement.
constexpr int kClientTimeoutMs = 2000;

// The process at the other end of a connected local socket runs as this user (root included,
// as it could connect anyway).
bool peerIsUs(qintptr descriptor)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}

// One connection's exchange. The window acts on the message only once the sender has read the
// acknowledgement and confirmed it: a sender that gave up before that runs on its own, and its
// message, read later by a window that was frozen, must not be run a second time.
class Exchange : public QObject
{
public:
    Exchange(QLocalSocket* socket, std::function<void(const launchmessage::Message&)> act)
        : QObject(socket), mSocket(socket), mAct(std::move(act))
    {
        connect(socket, &QLocalSocket::readyRead, this, &Exchange::step);
        mTimer.setSingleShot(true);
        connect(&mTimer, &QTimer::timeout, this, &Exchange::giveUp);
        mTimer.start(kClientTimeoutMs);
        // A line that came with the connection is read at once.
        step();
    }

private:
    void step()
    {
        if (mDone)
            return;
        if (!mMessage && !readMessage())
            return;
        if (mSocket->bytesAvailable() < launchmessage::kConfirmation.size())
            return;
        mDone = true;
        mTimer.stop();
        const bool confirmed = QByteArrayView(mSocket->read(launchmessage::kConfirmation.size())) ==
                               launchmessage::kConfirmation;
        mSocket->abort();
        if (confirmed)
            mAct(*mMessage);
    }

    // Reads the line and answers it; false while there is nothing more to do.
    bool readMessage()
    {
        // Read no further than one message's worth; whatever ends no line in it is refused.
        const QByteArray peeked = mSocket->peek(launchmessage::kLargest);
        const qsizetype end = peeked.indexOf('\n');
        if (end < 0) {
            if (peeked.size() >= launchmessage::kLargest)
                finish();
            return false;
        }
        mMessage = launchmessage::decode(mSocket->read(end + 1).chopped(1));
        if (!mMessage) {
            write(launchmessage::kRefused);
            finish();
            return false;
        }
        write(launchmessage::kAcknowledged);
        mTimer.start(kClientTimeoutMs);
        return true;
    }

    void write(QByteArrayView reply)
    {
        mSocket->write(reply.data(), reply.size());
        mSocket->flush();
    }

    void giveUp()
    {
        if (mDone)
            return;
        // Once the reading side is shut, the sender's confirmation either is here already or
        // fails on its side, so both ends agree on whether the message was taken.
        ::shutdown(int(mSocket->socketDescriptor()), SHUT_RD);
        mSocket->waitForReadyRead(0);
        step();
        finish();
    }

    void finish()
    {
        mDone = true;
        mTimer.stop();
        mSocket->disconnectFromServer();
    }

    QLocalSocket* mSocket;
    std::function<void(const launchmessage::Message&)> mAct;
    std::optional<launchmessage::Message> mMessage;
    QTimer mTimer;
    bool mDone = false;
};

QString cacheFolder()
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString base =
        QDir::isAbsolutePath(cache) ? cache : QDir::homePath() + QStringLiteral("/.cache");
    QDir().mkpath(base);
    const QString folder = base + QStringLiteral("/Stepgrab");
    ::mkdir(QFile::encodeName(folder).constData(), S_IRWXU);
    return folder;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::folderFault(const QString& folder)
{
    struct stat status;
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("it is a symbolic link");
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("it is not a folder");
    if (status.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user");
    if (status.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("others can write into it");
    return {};
}

QString SingleInstance::socketPath(QString* why)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = QDir::isAbsolutePath(runtime) ? runtime : cacheFolder();
    const QString fault = folderFault(folder);
    if (!fault.isEmpty()) {
        if (why)
            *why = folder + QStringLiteral(": ") + fault;
        return {};
    }
    return QDir(folder).filePath(QStringLiteral("stepgrab-%1.sock").arg(::getuid()));
}

SingleInstance::HandOver
SingleInstance::handOver(const QString& path, const launchmessage::Message& message, int timeoutMs)
{
    const auto line = launchmessage::encode(message);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(timeoutMs))
        return HandOver::NoServer;
    if (!line || !peerIsUs(socket.socketDescriptor())) {
        socket.abort();
        return HandOver::NoAnswer;
    }
    socket.write(*line);
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < 16 &&
           socket.waitForReadyRead(int(deadline.remainingTime())))
        answer += socket.readAll();
    // A window of an earlier version acted on the line as soon as it read it.
    if (QByteArrayView(answer) == launchmessage::kTakenAtOnce)
        return HandOver::Taken;
    // Straight into the kernel: it either queues the confirmation for the window or refuses it
    // because the window has given up; nothing stays in a buffer of ours.
    const bool confirmed =
        QByteArrayView(answer) == launchmessage::kAcknowledged &&
        ::send(int(socket.socketDescriptor()), launchmessage::kConfirmation.data(),
               launchmessage::kConfirmation.size(),
               MSG_NOSIGNAL) == launchmessage::kConfirmation.size();
    socket.abort();
    return confirmed ? HandOver::Taken : HandOver::NoAnswer;
}

bool SingleInstance::listen(const QString& path)
{
    if (!mServer) {
        mServer = new QLocalServer(this);
        mServer->setSocketOptions(QLocalServer::UserAccessOption);
        connect(mServer, &QLocalServer::newConnection, this, &SingleInstance::takeConnection);
    }
    if (mServer->listen(path))
        return true;
    // A window that crashed left its socket behind; one that still runs would have answered
    // the hand-over that came first.
    if (mServer->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(200)) {
        probe.abort();
        return false;
    }
    QLocalServer::removeServer(path);
    return mServer->listen(path);
}

void SingleInstance::takeConnection()
{
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsUs(socket->socketDescriptor())) {
            socket->abort();
            continue;
        }
        new Exchange(socket, [this](const launchmessage::Message& message) {
            // From the event loop: the socket that carried it is being closed just now.
            QTimer::singleShot(0, this, [this, message] { emit received(message); });
        });
    }
}
