// A browser's reply: the bytes of a 'list' descriptor, read as the query reads them.
#include "require.h"
#include "sources/aedesc.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const AEDesc list{typeAEList, bytes};
    qint32 count = -1;
    const OSErr counted = AECountItems(list, &count);
    const auto items = decodeDescList(bytes);
    require((counted == noErr) == items.has_value(), "count and decode agree");
    if (!items)
        return 0;
    require(count == items->size(), "count is the number of items");
    require(encodeDescList(*items) == bytes, "a list decodes to what encodes back to it");
    for (qint32 index = 0; index <= count + 1; ++index) {
        char windowID[4];
        qsizetype actual = -1;
        OSType type = 0;
        const OSErr status = AEGetNthPtr(list, index, typeSInt32, &type, windowID, sizeof windowID, &actual);
        if (status == noErr)
            require(actual == 4 && type == typeSInt32, "a 'long' holds 4 bytes");
        if (index < 1 || index > count)
            require(status == errAEIllegalIndex, "no item outside 1..count");
        AEDesc text;
        if (AEGetNthDesc(list, index, typeText, &text) == noErr)
            require(text.descriptorType == typeText && text.data.size() <= bytes.size(), "text within the list");
    }
    AppleEvent reply;
    AEPutParamDesc(&reply, keyDirectObject, list);
    AEDesc direct;
    require(AEGetParamDesc(reply, keyDirectObject, typeAEList, &direct) == noErr, "a valid list is the direct object");
    return 0;
}
