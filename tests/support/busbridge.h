#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTest>
#include <csignal>

// A bridge the bus activated stays until its idle time runs out; a test ends it on the way out.
inline void endActivatedBridge(const QString& name)
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (const auto pid = bus->servicePid(name); pid.isValid() && pid.value() > 0)
        ::kill(pid_t(pid.value()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!bus->isServiceRegistered(name).value(), 5000);
}

// What a bridge the bus starts from now on finds in its environment.
inline bool setActivationEnvironment(const QString& name, const QString& value)
{
    QDBusMessage update = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("UpdateActivationEnvironment"));
    qDBusRegisterMetaType<QMap<QString, QString>>();
    update << QVariant::fromValue(QMap<QString, QString>{{name, value}});
    return QDBusConnection::sessionBus().call(update).type() == QDBusMessage::ReplyMessage;
}
