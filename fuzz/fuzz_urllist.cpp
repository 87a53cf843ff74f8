// Splits arbitrary pasted text into a URL list, and names files from its lines as one run
// would, at a name limit taken from the input.

#include "download/urllist.h"
#include "require.h"

#include <QSet>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the name limit: 16 … 271 bytes, room for any number.
    const qsizetype limit = 16 + data[0];
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const QStringList addresses = urllist::splitList(text);
    qsizetype next = 0;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty())
            continue;
        require(next < addresses.size() && addresses.at(next) == trimmed,
                "every non-blank line is an entry, in order");
        ++next;
    }
    require(next == addresses.size(), "no entry beyond the non-blank lines");
    for (const QString& address : addresses)
        require(!address.isEmpty() && address.trimmed() == address && !address.contains(u'\n'),
                "an entry is neither empty, nor blank at its ends, nor more than a line");

    // The names a run asks for: each line's text after its last '/', when it fits the limit.
    urllist::NameBook book;
    QSet<QString> given;
    for (const QString& address : addresses) {
        const QString name = address.mid(address.lastIndexOf(u'/') + 1);
        if (name.isEmpty() || name.toUtf8().size() > limit)
            continue;
        for (int twice = 0; twice < 2; ++twice) {
            const QString taken = book.take(name, limit);
            require(!taken.isEmpty(), "a name always fits with room for a number");
            require(taken.toUtf8().size() <= limit, "a given name stays within the limit");
            require(!taken.contains(u'/'), "a given name stays in the folder");
            require(!given.contains(taken), "no name is given twice");
            given.insert(taken);
        }
    }
    return 0;
}
