#include "downloadfolder.h"

#include "address/fileelement.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace folder {

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Digit runs compare by value, everything else by character.
int naturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie]))
                ++ie;
            while (je < b.size() && isDigit(b[je]))
                ++je;
            qsizetype is = i, js = j;
            while (is < ie - 1 && a[is] == u'0')
                ++is;
            while (js < je - 1 && b[js] == u'0')
                ++js;
            if (ie - is != je - js)
                return ie - is < je - js ? -1 : 1;
            if (const int c =
                    QStringView(a).sliced(is, ie - is).compare(QStringView(b).sliced(js, je - js)))
                return c;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j ? -1 : 1;
    return a.compare(b);
}

} // namespace

QString datedFolderName(const QDateTime& moment)
{
    const int offset = moment.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString createDatedFolder(const QString& base, const QDateTime& moment)
{
    if (base.isEmpty())
        return {};
    const QString path = QDir(base).filePath(datedFolderName(moment));
    QDir().mkdir(path);
    return QFileInfo(path).isDir() ? path : QString();
}

QStringList listFiles(const QString& dir)
{
    if (dir.isEmpty())
        return {};
    QDir d(dir);
    QStringList names = d.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::NoSort);
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return naturalCompare(a, b) < 0; });
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names) {
        const QString path = d.filePath(name);
        if (QFileInfo(path).isFile())
            paths.append(path);
    }
    return paths;
}

QString filePathIn(const QString& dir, const QString& name)
{
    if (dir.isEmpty() || name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') ||
        name.contains(QChar(0)))
        return {};
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

bool isValidFileName(const QString& name)
{
    return !name.startsWith(u'.');
}

QString menuTitle(const QString& path)
{
    return address::deletingPathExtension(address::lastPathComponent(path));
}

} // namespace folder
