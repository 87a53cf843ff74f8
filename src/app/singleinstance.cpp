#include "app/singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <unistd.h>

namespace {

// A client that connects and then says nothing is dropped after this long.
constexpr int kClientTimeoutMs = 2000;

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent)
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
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
    if (!line) {
        socket.abort();
        return HandOver::NoAnswer;
    }
    socket.write(*line);
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() < 16 && socket.waitForReadyRead(timeoutMs))
        answer += socket.readAll();
    socket.abort();
    return answer.startsWith("ok\n") ? HandOver::Taken : HandOver::NoAnswer;
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
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        QTimer::singleShot(kClientTimeoutMs, socket, &QLocalSocket::abort);
        // A line that came with the connection is read at once.
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    // Read no further than one message's worth; whatever ends no line in it is refused.
    const QByteArray peeked = socket->peek(launchmessage::kLargest);
    const qsizetype end = peeked.indexOf('\n');
    if (end < 0) {
        if (peeked.size() >= launchmessage::kLargest)
            socket->abort();
        return;
    }
    const QByteArray line = socket->read(end + 1).chopped(1);
    const auto message = launchmessage::decode(line);
    // One message a connection: what follows it is not read.
    disconnect(socket, nullptr, this, nullptr);
    socket->write(message ? "ok\n" : "no\n");
    socket->disconnectFromServer();
    if (message)
        emit received(*message);
}
