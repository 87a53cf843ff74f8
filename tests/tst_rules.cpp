#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/fetcher.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace address;
using namespace Qt::StringLiterals;

class TestRules : public QObject
{
    Q_OBJECT
    static bool touch(const QString& path) { return QFile(path).open(QIODevice::WriteOnly); }
private slots:
    void split_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("nextFile");
        const auto row = [](const char* name, QString location, QString file, QStringList parts,
                            QString nextFile = {}) { // no parts: the address is refused
            QTest::newRow(name) << location << file << parts << nextFile;
        };
        const QString a = u"http://host/a"_s;
        row("width grows", a, "pic9.gif", {"pic", "9", "gif"}, "pic10.gif");
        row("no digit", a, "index.html", {"", "index", "html"}, "00001.html");
        row("letters inside number", a, "k2pic01.jpg", {"k", "2pic01", "jpg"}, "k000003.jpg");
        row("double extension", a, "pic01.tar.gz", {"pic", "01", "tar.gz"}, "pic02.tar.gz");
        row("query", a, "pic012.jpg?size=2", {"pic", "012", "jpg?size=2"}, "pic013.jpg?size=2");
        // The 1 in brackets is the first digit outside an escape, so the number starts there.
        row("digit after escapes", a, "photo%20(1)%20012.jpg", {"photo%20(", "1)%20012", "jpg"},
            "photo%20(00000002.jpg");
        row("bare host", "http:/", "abc.lan", {"", "abc", "lan"}, "001.lan");
        row("all digits beyond 64 bits", a, "v99999999999999999999.bin",
            {"v", "99999999999999999999", "bin"}, "v100000000000000000000.bin");
        row("digit only in the query", a, "img.php?id=012", {});
        row("digit in extension", a, "song.mp3", {});
        row("no dot", a, "pic012", {});
    }
    void split()
    {
        QFETCH(QString, location);
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
    void downloadFileName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, QString last, QString saved, QString reason = {}) {
            QTest::newRow(name) << "http://h/d/" + last << saved << reason;
        };
        const QString tooLong = u"ReasonNameTooLong"_s;
        row("escaped UTF-8", "%E5%86%99%E7%9C%9F012.jpg", u"\u5199\u771f012.jpg"_s);
        row("query dropped", "pic012.jpg?x=1/2", "pic012.jpg");
        row("255 bytes", QString(251, u'a') + ".jpg", QString(251, u'a') + ".jpg");
        row("256 bytes", QString(252, u'a') + ".jpg", QString(252, u'a') + ".jpg", tooLong);
        row("258 bytes in 86 characters", u"%E5%86%99"_s.repeated(86), u"\u5199"_s.repeated(86),
            tooLong);
    }
    void downloadFileName()
    {
        QFETCH(QString, address);
        QFETCH(QString, name);
        QCOMPARE(address::downloadFileName(download::urlOf(address)), name);
        QTEST(unsafeNameReason(name), "reason");
    }

    // A second run in the same second shares the folder and must not lose what is in it.
    void createDatedFolder()
    {
        QTemporaryDir tmp;
        const QString kept = "re/2004-03-05 04:05:09 +0900/pic001.jpg";
        QVERIFY(QDir().mkpath(tmp.filePath(QFileInfo(kept).path())) && touch(tmp.filePath(kept)));
        const auto at = [](int offsetMinutes) {
            return QDateTime({2004, 3, 5}, {4, 5, 9}, Qt::OffsetFromUTC, offsetMinutes * 60);
        };
        QCOMPARE(folder::createDatedFolder(tmp.filePath("re"), at(-210)),
                 tmp.filePath("re/2004-03-05 04:05:09 -0330"));
        QCOMPARE(folder::createDatedFolder(tmp.filePath("re/"), at(540)),
                 tmp.filePath(QFileInfo(kept).path()));
        QVERIFY(QFileInfo::exists(tmp.filePath(kept)));
    }

    // Which names of a folder are listed, in what order, and the menu titles of those shown.
    void listing_data()
    {
        QTest::addColumn<QString>("names"); // created in this order
        QTest::addColumn<QString>("listed");
        QTest::addColumn<QString>("titles"); // none: as listed
        const auto row = [](const char* name, const QString& names, const QString& listed,
                            const QString& titles = {}) {
            QTest::newRow(name) << names << listed << (titles.isEmpty() ? listed : titles);
        };
        row("hidden listed but untitled, own temporary files not listed",
            "pic10.jpg .hidden .stepgrab-k3x9q.part a.tar.gz README .stepgrab-A1.part pic9.jpg "
            ".stepgrab-a1.partial stepgrab-a1.part",
            ".hidden .stepgrab-A1.part .stepgrab-a1.partial README a.tar.gz pic9.jpg pic10.jpg "
            "stepgrab-a1.part",
            "README a.tar pic9 pic10 stepgrab-a1");
        row("leading zeros: by value, then as written", "p7 p007 p07 p6 p08", "p6 p007 p07 p7 p08");
        row("number vs letter, shorter", "a_1 a1 a a1b aa a10 a2", "a a1 a1b a2 a10 a_1 aa");
        row("runs longer than 64 bits, non-ASCII names whole",
            u"写真100000000000000000000 写真99999999999999999999 Ärger.txt"_s,
            u"Ärger.txt 写真99999999999999999999 写真100000000000000000000"_s,
            u"Ärger 写真99999999999999999999 写真100000000000000000000"_s);
    }
    void listing()
    {
        QFETCH(QString, names);
        QTemporaryDir tmp;
        for (const QString& name : names.split(u' '))
            QVERIFY(touch(tmp.filePath(name)));
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
