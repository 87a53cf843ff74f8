#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/fetcher.h"
#include "download/target.h"

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
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("nextFile");
        const auto row = [](const char* name, QString file, QStringList parts,
                            QString nextFile = {}) { // no parts: the address is refused
            QTest::newRow(name) << file << parts << nextFile;
        };
        row("width grows", "pic9.gif", {"pic", "9", "gif"}, "pic10.gif");
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
        QTest::addColumn<QString>("segment");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("logName");
        const QString name256 = QString(252, u'a') + ".jpg";
        QTest::newRow("non-ASCII letters")
            << u"%E5%86%99%E7%9C%9F012.jpg"_s << u""_s << u"\u5199\u771f012.jpg"_s;
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
        QCOMPARE(unsafeNameReason(downloadFileName(download::urlOf(address))), reason);
        const download::Target target = download::targetOf(address, runFolder);
        QCOMPARE(target.refusal, reason);
        QTEST(target.name, "logName");
        QCOMPARE(target.path, reason.isEmpty() ? dir.filePath(target.name) : QString());
    }
    // Which names of a folder are listed, in what order, and the menu titles of those shown.
    void listing_data()
    {
        QTest::addColumn<QString>("names"); // created in this order
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("titles");
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
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
