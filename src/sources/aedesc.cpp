#include "sources/aedesc.h"

#include <QtEndian>
#include <cstring>
#include <limits>

namespace {

constexpr qsizetype kItemHeader = 8;

// A descriptor is checked once, where it enters: an item of another type or a 'long'
// of another size is refused rather than guessed at.
OSErr checkDesired(const AEDesc& desc, OSType desiredType)
{
    if (desiredType != typeWildCard && desc.descriptorType != desiredType)
        return errAECoercionFail;
    if (desc.descriptorType == typeSInt32 && desc.data.size() != 4)
        return errAECorruptData;
    return noErr;
}

} // namespace

QByteArray encodeDescList(const QList<AEDesc>& items)
{
    QByteArray bytes;
    for (const AEDesc& item : items) {
        char header[kItemHeader];
        qToBigEndian<quint32>(item.descriptorType, header);
        qToBigEndian<quint32>(quint32(item.data.size()), header + 4);
        bytes.append(header, kItemHeader);
        bytes.append(item.data);
    }
    return bytes;
}

std::optional<QList<AEDesc>> decodeDescList(QByteArrayView bytes)
{
    QList<AEDesc> items;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < kItemHeader)
            return std::nullopt;
        const OSType type = qFromBigEndian<quint32>(bytes.data() + at);
        const quint32 length = qFromBigEndian<quint32>(bytes.data() + at + 4);
        at += kItemHeader;
        if (length > quint64(bytes.size() - at))
            return std::nullopt;
        items.append(AEDesc{type, bytes.sliced(at, length).toByteArray()});
        at += length;
    }
    return items;
}

AEDesc makeLongDesc(qint32 value)
{
    char bytes[4];
    qToBigEndian<qint32>(value, bytes);
    return AEDesc{typeSInt32, QByteArray(bytes, 4)};
}

AEDesc makeTextDesc(const QString& text)
{
    return AEDesc{typeText, text.toUtf8()};
}

AEDesc makeListDesc(const QList<AEDesc>& items)
{
    return AEDesc{typeAEList, encodeDescList(items)};
}

AEDesc makePSNDesc(ProcessSerialNumber psn)
{
    char bytes[8];
    qToBigEndian<quint32>(psn.highLongOfPSN, bytes);
    qToBigEndian<quint32>(psn.lowLongOfPSN, bytes + 4);
    return AEDesc{typeProcessSerialNumber, QByteArray(bytes, 8)};
}

std::optional<ProcessSerialNumber> psnFromDesc(const AEDesc& desc)
{
    if (desc.descriptorType != typeProcessSerialNumber || desc.data.size() != 8)
        return std::nullopt;
    return ProcessSerialNumber{qFromBigEndian<quint32>(desc.data.constData()),
                               qFromBigEndian<quint32>(desc.data.constData() + 4)};
}

OSErr AECreateDesc(OSType type, const void* data, qsizetype size, AEDesc* result)
{
    if (!result || size < 0 || (size > 0 && !data))
        return errAECorruptData;
    result->descriptorType = type;
    result->data = QByteArray(static_cast<const char*>(data), size);
    return noErr;
}

OSErr AEDisposeDesc(AEDesc* desc)
{
    if (desc)
        *desc = AEDesc{};
    return noErr;
}

OSErr AECountItems(const AEDesc& list, qint32* count)
{
    if (list.descriptorType != typeAEList)
        return errAEWrongDataType;
    const auto items = decodeDescList(list.data);
    if (!items)
        return errAECorruptData;
    if (items->size() > std::numeric_limits<qint32>::max())
        return errAECorruptData;
    if (count)
        *count = qint32(items->size());
    return noErr;
}

OSErr AEGetNthDesc(const AEDesc& list, qint32 index, OSType desiredType, AEDesc* result)
{
    if (list.descriptorType != typeAEList)
        return errAEWrongDataType;
    // Only the headers are walked, and only item `index` is copied: a caller asking for each
    // item of a long list in turn must not pay for the whole list every time.
    const QByteArrayView bytes(list.data);
    qsizetype at = 0;
    qsizetype count = 0;
    std::optional<AEDesc> item;
    while (at < bytes.size()) {
        if (bytes.size() - at < kItemHeader)
            return errAECorruptData;
        const OSType type = qFromBigEndian<quint32>(bytes.data() + at);
        const quint32 length = qFromBigEndian<quint32>(bytes.data() + at + 4);
        at += kItemHeader;
        if (length > quint64(bytes.size() - at))
            return errAECorruptData;
        if (++count == index)
            item = AEDesc{type, bytes.sliced(at, length).toByteArray()};
        at += length;
    }
    if (!item)
        return errAEIllegalIndex;
    if (const OSErr status = checkDesired(*item, desiredType))
        return status;
    if (result)
        *result = std::move(*item);
    return noErr;
}

OSErr AEGetNthPtr(const AEDesc& list, qint32 index, OSType desiredType, OSType* typeCode,
                  void* data, qsizetype maxSize, qsizetype* actualSize)
{
    AEDesc item;
    if (const OSErr status = AEGetNthDesc(list, index, desiredType, &item))
        return status;
    if (typeCode)
        *typeCode = item.descriptorType;
    if (actualSize)
        *actualSize = item.data.size();
    if (data && maxSize > 0)
        std::memcpy(data, item.data.constData(), size_t(std::min(maxSize, item.data.size())));
    return noErr;
}

OSErr AEGetParamDesc(const AppleEvent& event, OSType keyword, OSType desiredType, AEDesc* result)
{
    for (const auto& [key, desc] : event.parameters) {
        if (key != keyword)
            continue;
        if (const OSErr status = checkDesired(desc, desiredType))
            return status;
        if (desc.descriptorType == typeAEList && !decodeDescList(desc.data))
            return errAECorruptData;
        if (result)
            *result = desc;
        return noErr;
    }
    return errAEDescNotFound;
}

OSErr AEPutParamPtr(AppleEvent* event, OSType keyword, OSType type, const void* data,
                    qsizetype size)
{
    AEDesc desc;
    if (const OSErr status = AECreateDesc(type, data, size, &desc))
        return status;
    return AEPutParamDesc(event, keyword, desc);
}

OSErr AEPutParamDesc(AppleEvent* event, OSType keyword, const AEDesc& desc)
{
    if (!event)
        return errAECorruptData;
    for (auto& parameter : event->parameters) {
        if (parameter.first == keyword) {
            parameter.second = desc;
            return noErr;
        }
    }
    event->parameters.append({keyword, desc});
    return noErr;
}

QString fourCharText(OSType code)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const uchar c = uchar(code >> shift);
        if (c >= 0x20 && c < 0x7f)
            text += QLatin1Char(char(c));
        else
            text += QString::asprintf("\\x%02X", c);
    }
    return text;
}
