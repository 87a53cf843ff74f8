#include "urllist.h"

namespace urllist {

QStringList splitList(QStringView text)
{
    QStringList addresses;
    for (QStringView line : text.tokenize(u'\n')) {
        line = line.trimmed();
        if (!line.isEmpty())
            addresses.append(line.toString());
    }
    return addresses;
}

QString NameBook::take(const QString& name, qsizetype)
{
    mTaken.insert(name);
    return name;
}

} // namespace urllist
