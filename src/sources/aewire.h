#pragma once

#include "sources/browserquery.h"

#include <QDBusArgument>
#include <QMetaType>
#include <QString>

// How the browser query travels on the session bus (docs/browser-query.md): a process of
// type T with creator C is the peer that owns the name derived from both codes, and each
// request is one call of Send on its object.
namespace aewire {

inline constexpr char kPath[] = "/org/stepgrab/AppleEvents";
inline constexpr char kInterface[] = "org.stepgrab.AppleEvents";
inline constexpr char kSend[] = "Send";
// The signature of Send's arguments and of its reply.
inline constexpr char kSendSignature[] = "uunia(uuay)";
inline constexpr char kReplySignature[] = "a(uuay)";

// A parameter as it travels: keyword, descriptor type, bytes.
struct Parameter
{
    uint keyword = 0;
    uint type = 0;
    QByteArray data;
};
using Parameters = QList<Parameter>;

// org.stepgrab.Process.T<8 hex digits of the type>.C<8 hex digits of the creator>: a valid
// bus name whatever the four bytes are.
QString processBusName(OSType processType, OSType creator);

// Registers Parameters with Qt DBus; safe to call from any thread, any number of times.
void registerTypes();

Parameters toWire(const QList<std::pair<OSType, AEDesc>>& parameters);
QList<std::pair<OSType, AEDesc>> fromWire(const Parameters& parameters);

} // namespace aewire

QDBusArgument& operator<<(QDBusArgument& argument, const aewire::Parameter& parameter);
const QDBusArgument& operator>>(const QDBusArgument& argument, aewire::Parameter& parameter);

Q_DECLARE_METATYPE(aewire::Parameter)
