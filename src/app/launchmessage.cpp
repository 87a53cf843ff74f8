#include "app/launchmessage.h"

#include <QStringDecoder>

namespace launchmessage {

namespace {

QByteArrayView kindWord(Kind kind)
{
    switch (kind) {
    case Kind::Typed:
        return "typed";
    case Kind::Bookmark:
        return "bookmark";
    case Kind::Raise:
        break;
    }
    return "raise";
}

} // namespace

std::optional<QByteArray> encode(const Message& message)
{
    if (message.kind == Kind::Raise)
        return QByteArray("raise\n");
    if (message.address.contains(u'\n') || message.address.contains(u'\r'))
        return std::nullopt;
    QByteArray line = kindWord(message.kind).toByteArray();
    if (message.start)
        line += "+start";
    line += ' ' + message.address.toUtf8() + '\n';
    if (line.size() > kLargest)
        return std::nullopt;
    return line;
}

std::optional<Message> decode(QByteArrayView line)
{
    if (line.size() >= kLargest || line.contains('\n') || line.contains('\r'))
        return std::nullopt;
    if (line == "raise")
        return Message{};
    const qsizetype space = line.indexOf(' ');
    if (space < 0)
        return std::nullopt;
    QByteArrayView word = line.first(space);
    Message message;
    if (word.endsWith("+start")) {
        message.start = true;
        word.chop(6);
    }
    if (word == "typed")
        message.kind = Kind::Typed;
    else if (word == "bookmark")
        message.kind = Kind::Bookmark;
    else
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    message.address = utf8(line.sliced(space + 1));
    if (utf8.hasError())
        return std::nullopt;
    return message;
}

} // namespace launchmessage
