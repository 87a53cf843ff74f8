#include "readers/firefox.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <algorithm>
#include <climits>
#include <lz4.h>

namespace bridge::firefox {

namespace {

constexpr QByteArrayView kMagic("mozLz40\0", 8);
constexpr qsizetype kHeaderSize = 12;
// Each byte of an LZ4 block inflates to at most 255 bytes: a size past that is a lie, and
// refusing it keeps a small file from asking for a large buffer.
constexpr qint64 kMaxRatio = 255;

// The 0-based position that a 1-based index picks among `count` items, or -1.
qsizetype oneBased(const QJsonValue& value, qsizetype count)
{
    const qint64 index = value.toInteger(0);
    return index >= 1 && index <= count ? qsizetype(index - 1) : -1;
}

// What a window shows: its selected tab's current history entry. As Firefox does on
// restoring, a missing or zero entry index means the newest entry, one past the end is
// clamped to it, and a selected tab that does not exist falls back to the first tab.
SessionWindow windowEntry(const QJsonValue& window)
{
    const QJsonArray tabs = window.toObject().value(QLatin1String("tabs")).toArray();
    if (tabs.isEmpty())
        return {};
    const qsizetype selected =
        oneBased(window.toObject().value(QLatin1String("selected")), tabs.size());
    const QJsonObject tab = tabs.at(selected >= 0 ? selected : 0).toObject();
    const QJsonArray entries = tab.value(QLatin1String("entries")).toArray();
    if (entries.isEmpty())
        return {};
    const qint64 index = tab.value(QLatin1String("index")).toInteger(0);
    const qsizetype current = index == 0 || index > entries.size() ? entries.size() - 1
                              : index < 0                          ? 0
                                                                   : qsizetype(index - 1);
    const QJsonObject entry = entries.at(current).toObject();
    return {entry.value(QLatin1String("url")).toString(),
            entry.value(QLatin1String("title")).toString()};
}

// Whether a window title names the tab title: Firefox shows it alone or followed by a dash
// and its name (" — Mozilla Firefox", " - Firefox ESR", " — Mozilla Firefox Private Browsing").
bool titleShows(QStringView windowTitle, QStringView tabTitle)
{
    if (tabTitle.isEmpty() || !windowTitle.startsWith(tabTitle))
        return false;
    const QStringView rest = windowTitle.sliced(tabTitle.size());
    return rest.isEmpty() || (rest.size() >= 2 && rest[0] == QLatin1Char(' ') &&
                              QStringView(u"—–-").contains(rest[1]));
}

struct IniSection
{
    QString name;
    QMap<QString, QString> values;
};

QList<IniSection> parseIni(QByteArrayView text)
{
    QList<IniSection> sections;
    const QString decoded = QString::fromUtf8(text);
    for (QStringView line : QStringView(decoded).split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (line.endsWith(QLatin1Char(']')))
                sections.append({line.mid(1, line.size() - 2).trimmed().toString(), {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || sections.isEmpty())
            continue;
        sections.last().values.insert(line.left(equals).trimmed().toString(),
                                      line.mid(equals + 1).trimmed().toString());
    }
    return sections;
}

} // namespace

std::optional<QByteArray> inflateMozLz4(QByteArrayView file)
{
    if (file.size() <= kHeaderSize || file.first(kMagic.size()) != kMagic)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(file.data()) + kMagic.size();
    const quint32 size =
        quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    const qint64 packed = file.size() - kHeaderSize;
    if (size == 0 || size > kMaxSessionSize || packed > INT_MAX || size > packed * kMaxRatio)
        return std::nullopt;
    QByteArray content(qsizetype(size), Qt::Uninitialized);
    const int inflated =
        LZ4_decompress_safe(file.data() + kHeaderSize, content.data(), int(packed), int(size));
    if (inflated != int(size))
        return std::nullopt;
    return content;
}

std::optional<Session> parseSession(QByteArrayView json)
{
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), json.size()), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue windowsValue = document.object().value(QLatin1String("windows"));
    if (!windowsValue.isArray())
        return std::nullopt;
    const QJsonArray windows = windowsValue.toArray();
    Session session;
    // selectedWindow is 1-based; Firefox writes 0 when no window was focused yet.
    session.selected = std::max<qsizetype>(
        oneBased(document.object().value(QLatin1String("selectedWindow")), windows.size()), 0);
    for (const QJsonValue& window : windows)
        session.windows.append(windowEntry(window));
    return session;
}

// A window that shows no address keeps its place as an empty one: skipping it would pass
// another window's page off as the front one.
QStringList frontFirst(const Session& session, qsizetype front)
{
    QStringList addresses;
    for (qsizetype i = 0; i < session.windows.size(); ++i) {
        if (i == front)
            addresses.prepend(session.windows[i].address);
        else
            addresses.append(session.windows[i].address);
    }
    return addresses;
}

std::optional<QStringList> parseSessionJson(QByteArrayView json)
{
    const std::optional<Session> session = parseSession(json);
    if (!session)
        return std::nullopt;
    return frontFirst(*session, session->selected);
}

qsizetype frontSessionWindow(const QList<TopLevel>& stacking, qint64 pid,
                             const QList<SessionWindow>& windows)
{
    const auto top = std::find_if(stacking.rbegin(), stacking.rend(),
                                  [pid](const TopLevel& window) { return window.pid == pid; });
    if (pid <= 0 || top == stacking.rend())
        return -1;
    // The longest title wins: a page titled "News" must not claim the window that shows
    // "News - Sport".
    qsizetype found = -1, length = 0;
    bool ambiguous = false;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        const QString& title = windows[i].title;
        if (!titleShows(top->title, title) || title.size() < length)
            continue;
        ambiguous = title.size() == length;
        found = i;
        length = title.size();
    }
    return ambiguous ? -1 : found;
}

std::optional<QStringList> parseFirefoxSessionStore(QByteArrayView file)
{
    const std::optional<QByteArray> json = inflateMozLz4(file);
    if (!json)
        return std::nullopt;
    return parseSessionJson(*json);
}

QStringList profileCandidates(QByteArrayView iniText, const QString& iniFolder)
{
    const QDir folder(iniFolder);
    QStringList installDefaults, markedDefault, others;
    for (const IniSection& section : parseIni(iniText)) {
        if (section.name.startsWith(QLatin1String("Install"))) {
            // The path as its profile's Path says it: relative to this folder or absolute.
            const QString path = section.values.value(QStringLiteral("Default"));
            if (!path.isEmpty())
                installDefaults.append(QDir::cleanPath(folder.filePath(path)));
        } else if (section.name.startsWith(QLatin1String("Profile"))) {
            const QString path = section.values.value(QStringLiteral("Path"));
            const bool relative =
                section.values.value(QStringLiteral("IsRelative")) == QLatin1String("1");
            if (path.isEmpty() || (!relative && !QDir::isAbsolutePath(path)))
                continue;
            const QString resolved = QDir::cleanPath(relative ? folder.filePath(path) : path);
            if (section.values.value(QStringLiteral("Default")) == QLatin1String("1"))
                markedDefault.append(resolved);
            else
                others.append(resolved);
        }
    }
    QStringList candidates = installDefaults + markedDefault + others;
    candidates.removeDuplicates();
    return candidates;
}

std::optional<qint64> lockOwner(QByteArrayView target)
{
    const qsizetype mark = target.lastIndexOf(QByteArrayView(":+"));
    if (mark < 0)
        return std::nullopt;
    const QByteArrayView digits = target.sliced(mark + 2);
    if (digits.isEmpty() || digits.size() > 10)
        return std::nullopt;
    qint64 pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0 || pid > INT_MAX)
        return std::nullopt;
    return pid;
}

} // namespace bridge::firefox
