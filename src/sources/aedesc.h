#pragma once

#include "sources/browserquery.h"

#include <QByteArrayView>
#include <QString>

// The descriptors of the browser query and the calls that read and build them, with the
// status values browsers of the 'WWW!' suite have always answered with. Pure functions:
// the bytes of a reply come from another program and are checked before they are used.

constexpr OSErr noErr = 0;
constexpr OSErr procNotFound = -600;
constexpr OSErr errAECoercionFail = -1700;
constexpr OSErr errAEDescNotFound = -1701;
constexpr OSErr errAECorruptData = -1702;
constexpr OSErr errAEWrongDataType = -1703;
constexpr OSErr errAEReplyNotValid = -1709;
constexpr OSErr errAETimeout = -1712;
constexpr OSErr errAEIllegalIndex = -1719;
constexpr OSErr errAEEventFailed = -10000;

constexpr OSType typeNull = fourCharCode("null");
constexpr OSType typeAEList = fourCharCode("list");
constexpr OSType typeSInt32 = fourCharCode("long");
constexpr OSType typeText = fourCharCode("TEXT");
constexpr OSType typeProcessSerialNumber = fourCharCode("psn ");
constexpr OSType typeWildCard = fourCharCode("****");
constexpr OSType keyDirectObject = fourCharCode("----");

// A 'list' descriptor's bytes: each item as a 4-byte big-endian type, a 4-byte big-endian
// length and that many bytes, one after the other, nothing after the last.
QByteArray encodeDescList(const QList<AEDesc>& items);
// The items of a list's bytes; none when a length runs past the end or bytes are left over.
std::optional<QList<AEDesc>> decodeDescList(QByteArrayView bytes);

AEDesc makeLongDesc(qint32 value);
AEDesc makeTextDesc(const QString& text);
AEDesc makeListDesc(const QList<AEDesc>& items);
// The 8 bytes of a 'psn ' descriptor: high then low half, each big-endian.
AEDesc makePSNDesc(ProcessSerialNumber psn);
std::optional<ProcessSerialNumber> psnFromDesc(const AEDesc& desc);

OSErr AECreateDesc(OSType type, const void* data, qsizetype size, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* desc);
OSErr AECountItems(const AEDesc& list, qint32* count);
// Item `index` (from 1) of a list. There is no coercion: the item must already be of the
// desired type (or the type be '****'); a 'long' must hold exactly 4 bytes.
OSErr AEGetNthDesc(const AEDesc& list, qint32 index, OSType desiredType, AEDesc* result);
// As AEGetNthDesc, copying at most maxSize bytes into data; actualSize is the item's whole size.
OSErr AEGetNthPtr(const AEDesc& list, qint32 index, OSType desiredType, OSType* typeCode,
                  void* data, qsizetype maxSize, qsizetype* actualSize);
OSErr AEGetParamDesc(const AppleEvent& event, OSType keyword, OSType desiredType, AEDesc* result);
OSErr AEPutParamPtr(AppleEvent* event, OSType keyword, OSType type, const void* data,
                    qsizetype size);
OSErr AEPutParamDesc(AppleEvent* event, OSType keyword, const AEDesc& desc);

// A four-character code as text, e.g. "WWW!"; other bytes as \xNN.
QString fourCharText(OSType code);
