#include "sources/aewire.h"

#include <QDBusMetaType>

namespace aewire {

QString processBusName(OSType processType, OSType creator)
{
    return QString::asprintf("org.stepgrab.Process.T%08X.C%08X", processType, creator);
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<Parameter>();
        qDBusRegisterMetaType<Parameters>();
        return true;
    }();
    Q_UNUSED(registered);
}

Parameters toWire(const QList<std::pair<OSType, AEDesc>>& parameters)
{
    Parameters wire;
    for (const auto& [keyword, desc] : parameters)
        wire.append(Parameter{keyword, desc.descriptorType, desc.data});
    return wire;
}

QList<std::pair<OSType, AEDesc>> fromWire(const Parameters& parameters)
{
    QList<std::pair<OSType, AEDesc>> result;
    for (const Parameter& parameter : parameters)
        result.append({parameter.keyword, AEDesc{parameter.type, parameter.data}});
    return result;
}

} // namespace aewire

QDBusArgument& operator<<(QDBusArgument& argument, const aewire::Parameter& parameter)
{
    argument.beginStructure();
    argument << parameter.keyword << parameter.type << parameter.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, aewire::Parameter& parameter)
{
    argument.beginStructure();
    argument >> parameter.keyword >> parameter.type >> parameter.data;
    argument.endStructure();
    return argument;
}
