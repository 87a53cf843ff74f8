#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace urllist {

// The addresses of a list as people paste or save it: one a line, each trimmed of the
// blanks around it (so CR LF line ends do no harm), blank lines skipped.
QStringList splitList(QStringView text);

// The names given out in one run. Two addresses whose files come out with the same name
// (img?id=1 and img?id=2, a/x.jpg and b/x.jpg) must not overwrite each other: a name
// already given gets a number before its last extension, "x (2).jpg", "x (3).jpg", …
class NameBook
{
public:
    // The name to write `name` under; `nameLimit` is the folder's longest name in bytes.
    // A numbered name keeps within it by shortening the part before the number, a whole
    // character at a time. Empty only when not even a bare number fits the limit.
    QString take(const QString& name, qsizetype nameLimit = 255);

private:
    QSet<QString> mTaken;
    QHash<QString, int> mLastNumber; // per name asked for: where the next search begins
};

} // namespace urllist
