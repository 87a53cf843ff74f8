#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/target.h"
#include "download/urllist.h"
#include "host/soundfolders.h"
#include "sources/bookmark.h"
#include "support/table.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace address;
using namespace Qt::StringLiterals;

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void split_data()
    {
        columns<QString, QStringList, QString>("file", "parts", "nextFile");
        const auto row = [](const char* name, QString file, QStringList parts,
                            QString nextFile = {}) { // no parts: the address is refused
            QTest::newRow(name) << file << parts << nextFile;
        };
        row("width grows", "pic9.gif", {"pic", "9", "gif"}, "pic10.gif");
        row("escaped blank before the number", "pic%20999.jpg", {"pic%20", "999", "jpg"},
            "pic%201000.jpg");
        row("no digit", "index.html", {"", "index", "html"}, "00001.html");
        row("query", "pic012.jpg?size=2", {"pic", "012", "jpg?size=2"}, "pic013.jpg?size=2");
        row("digit only in the query", "img.php?id=012", {});
    }
    void split()
    {
        const QString location = u"http://host/a"_s;
        QFETCH(QString, file);
        QFETCH(QStringList, parts);
        const QString address = location + '/' + file;
        const Split split = parseFileElement(address);
        QCOMPARE(split.countable, !parts.isEmpty());
        if (!split.countable)
            return;
        QCOMPARE(QStringList({split.fileName, split.number, split.extension}), parts);
        QCOMPARE(locationOf(address), location);
        FileElementStore store;
        store.set({location, split.fileName, split.number, split.extension});
        QTEST(fullAddress(store.countUp()).remove(0, location.size() + 1), "nextFile");
    }
    // The name a file is saved under, from the last segment of its address as copied, and
    // the name its log line shows.
    void savedName_data()
    {
        columns<QString, QString, QString>("segment", "reason", "logName");
        const QString name256 = QString(252, u'a') + ".jpg";
        QTest::newRow("non-ASCII letters")
            << u"%E5%86%99%E7%9C%9F012.jpg"_s << u""_s << u"\u5199\u771f012.jpg"_s;
        QTest::newRow("blank, query dropped")
            << u"pic%20012.jpg?size=2"_s << u""_s << u"pic 012.jpg"_s;
        QTest::newRow("escaped slash")
            << u"a%2F012.jpg"_s << u"ReasonNameUnsafe"_s << u"a/012.jpg"_s;
        QTest::newRow("too long") << name256 << u"ReasonNameTooLong"_s << name256;
        for (const char* control : {"01", "1F", "7F"})
            QTest::addRow("control character %s", control)
                << u"a%"_s + QLatin1String(control) + u"b.jpg"_s << u"ReasonNameUnsafe"_s
                << u"a%"_s + QLatin1String(control) + u"b.jpg"_s;
    }
    void savedName()
    {
        QFETCH(QString, segment);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const auto runFolder = folder::RunFolder::open(dir.path(), nullptr);
        QVERIFY(runFolder);
        const QString address = u"http://h/d/"_s + segment;
        const download::Target target = download::targetOf(address, runFolder);
        QCOMPARE(target.refusal, reason);
        QTEST(target.name, "logName");
        QCOMPARE(target.path, reason.isEmpty() ? dir.filePath(target.name) : QString());
    }
    // Which names of a folder are listed, in what order, and the menu titles of those shown.
    void listing_data()
    {
        // names: created in this order
        columns<QString, QString, QString>("names", "listed", "titles");
        const auto row = [](const char* name, const QString& names, const QString& listed,
                            const QString& titles) {
            QTest::newRow(name) << names << listed << titles;
        };
        row("hidden listed but untitled, own temporary files not listed",
            "pic10.jpg .hidden .stepgrab-k3x9q.part a.tar.gz README .stepgrab-A1.part pic9.jpg "
            "stepgrab-a1.part",
            ".hidden .stepgrab-A1.part README a.tar.gz pic9.jpg pic10.jpg stepgrab-a1.part",
            "README a.tar pic9 pic10 stepgrab-a1");
        row("leading zeros: by value, then as written", "p7 p007 p07 p6 p08", "p6 p007 p07 p7 p08",
            "p6 p007 p07 p7 p08");
    }
    void listing()
    {
        QFETCH(QString, names);
        QTemporaryDir tmp;
        for (const QString& name : names.split(u' '))
            QVERIFY(QFile(tmp.filePath(name)).open(QIODevice::WriteOnly));
        // Never listed: a folder, a dangling link, and a pipe (opening it would hang the viewer).
        QVERIFY(QDir(tmp.path()).mkdir("sub") && QFile::link("gone", tmp.filePath("link.jpg")));
        QCOMPARE(::mkfifo(QFile::encodeName(tmp.filePath("pipe.jpg")).constData(), 0600), 0);
        const folder::Listing listing(tmp.path());
        QStringList out, shown;
        for (qsizetype i = 0; i < listing.size(); ++i) {
            out << listing.name(i);
            if (folder::isValidFileName(listing.rawName(i)))
                shown << folder::menuTitle(listing.path(i));
        }
        QTEST(out.join(u' '), "listed");
        QTEST(shown.join(u' '), "titles");
        QCOMPARE(folder::listFiles(tmp.path()),
                 out.replaceInStrings(QRegularExpression("^"), tmp.path() + u'/'));
        // Run from a folder with files: no folder at all must not list the working one.
        QVERIFY(folder::listFiles({}).isEmpty() && folder::listFiles(tmp.filePath("-")).isEmpty());
    }
    // A second file of one name in a list run: numbered, its extension and characters whole.
    void listNames_data()
    {
        // limit: in bytes
        columns<QStringList, int, QStringList>("asked", "limit", "given");
        auto row = [](const char* name, const QStringList& asked, int limit,
                      const QStringList& given) { QTest::newRow(name) << asked << limit << given; };
        row("case kept, last extension, numbered name listed",
            {"A.jpg", "a.jpg", "x.tar.gz", "x.tar.gz", "x (2).jpg", "x.jpg", "x.jpg"}, 255,
            {"A.jpg", "a.jpg", "x.tar.gz", "x.tar (2).gz", "x (2).jpg", "x.jpg", "x (3).jpg"});
        // é is two bytes, 日 three: a character is never cut in half, nor from its accent.
        row("multibyte stem, combining accent",
            {u"éé日.png"_s, u"éé日.png"_s, u"ae\u0301e.txt"_s, u"ae\u0301e.txt"_s}, 11,
            {u"éé日.png"_s, u"é (2).png"_s, u"ae\u0301e.txt"_s, u"a (2).txt"_s});
    }
    void listNames()
    {
        QFETCH(QStringList, asked);
        QFETCH(int, limit);
        urllist::NameBook book;
        QStringList out;
        for (const QString& name : asked)
            out << book.take(name, limit);
        QTEST(out, "given");
    }
    void bookmarkFile_data()
    {
        columns<QString, QString>("file", "address");
        for (const auto& [file, address] :
             {std::pair{"windows_edge.url", u"http://host/gallery/img005.png"_s},
              {"no_header.url", u"http://host/c/d003.png"_s},
              {"utf16le_bom.url", u"http://host/写真/p02.jpg"_s},
              {"shift_jis.url", u"http://host/写真/p03.jpg"_s},
              {"url_in_other_section.url", u"none"_s},
              {"over_64k.url", u"none"_s}})
            QTest::newRow(file) << QString::fromLatin1(file) << address;
    }
    void bookmarkFile()
    {
        QFETCH(QString, file);
        const QString path = QFINDTESTDATA(u"data/bookmarks/"_s + file);
        QTEST(bookmark::readFile(path).value_or(u"none"_s), "address");
    }
    // What is written must read back as itself; Shift JIS holds ¥ only through a best-fit
    // mapping, so it would not.
    void bookmarkFormat()
    {
        const QString japanese = u"http://host/写真/p.jpg"_s;
        const QByteArray bytes = "[InternetShortcut]\r\nURL=http://host/\x8e\xca\x90^/p.jpg\r\n";
        QCOMPARE(bookmark::format(japanese).value_or("none"), bytes);
        QCOMPARE(bookmark::parse(bytes), japanese);
        QCOMPARE(bookmark::format(u"http://host/¥/p.jpg"_s).value_or("none"), "none");
    }
    // Sounds under a fresh root, whose folders home/, a/ and b/ are XDG_DATA_HOME and the two
    // XDG_DATA_DIRS entries; "path=>target" makes a symbolic link.
    void sounds_data()
    {
        // found: name=file under the root, none if empty
        // popup: a title given twice keeps its later place
        columns<QStringList, QStringList, QString, QStringList>("files", "names", "found", "popup");
        auto row = [](const char* name, const QStringList& files, const QStringList& names,
                      const QString& found, const QStringList& popup) {
            QTest::newRow(name) << files << names << found << popup;
        };
        row("the user's folder, then the data folders in order; the user's file played",
            {"b/sounds/c.oga", "a/sounds/b.wav", "home/sounds/zz.ogg", "b/sounds/x/stereo/zz.oga"},
            {"zz", "b", "c", "zz"}, "zz=home/sounds/zz.ogg", {"b", "c", "zz"});
        row("a theme's stereo/ linking back up read once; a relative data folder is none",
            {"a/sounds/t/stereo=>.", "a/sounds/t/u.wav", "a/sounds/v.wav", "rel/b/sounds/r.wav"},
            {"v", "u"}, "u=a/sounds/t/stereo/u.wav", {"v", "u"});
    }
    void sounds()
    {
        QTemporaryDir root;
        qputenv("XDG_DATA_HOME", root.filePath(u"home"_s).toLocal8Bit());
        qputenv("XDG_DATA_DIRS",
                (root.filePath(u"a"_s) + u":rel/b:"_s + root.filePath(u"b"_s)).toLocal8Bit());
        QFETCH(QStringList, files);
        for (const QString& entry : files) {
            const QString path = root.filePath(entry.section(u"=>"_s, 0, 0));
            const QString target = entry.section(u"=>"_s, 1);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(target.isEmpty() ? QFile(path).open(QIODevice::WriteOnly)
                                     : QFile::link(target, path));
        }
        const QString cwd = QDir::currentPath();
        const auto back = qScopeGuard([&cwd] { QDir::setCurrent(cwd); });
        QDir::setCurrent(root.path());
        QTEST(sounds::soundNames(), "names");
        QTEST(sounds::oneItemPerTitle(sounds::soundNames()), "popup");
        QFETCH(QString, found);
        QCOMPARE(sounds::soundFile(found.section(u'=', 0, 0)).remove(root.path() + u'/'),
                 found.section(u'=', 1));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
