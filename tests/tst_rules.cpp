#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/fetcher.h"
#include "download/htmlcheck.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <sys/stat.h>
#include <thread>

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
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("grownFile");
        // No parts: the address is refused. An edited number is one typed into the field.
        // grownFile, where given, follows a number of nines as wide as the split one.
        const auto row = [](const char* name, QString location, QString file, QStringList parts,
                            QString nextFile = {}, QString edited = {}, QString grownFile = {}) {
            QTest::newRow(name) << location << file << parts << nextFile << edited << grownFile;
        };
        const auto grows = [&row](const char* name, QString location, QString file,
                                  QStringList parts, QString nextFile, QString grownFile) {
            row(name, location, file, parts, nextFile, {}, grownFile);
        };
        const QString d = u"http://host/dir"_s, a = u"http://host/a"_s;
        row("prefix", d, "pic012.jpg", {"pic", "012", "jpg"}, "pic013.jpg");
        row("no prefix", a, "012.jpg", {"", "012", "jpg"}, "013.jpg");
        row("carry keeps width", a, "pic099.gif", {"pic", "099", "gif"}, "pic100.gif");
        row("width grows", a, "pic9.gif", {"pic", "9", "gif"}, "pic10.gif");
        row("no digit", a, "index.html", {"", "index", "html"}, "00001.html");
        row("letters inside number", a, "k2pic01.jpg", {"k", "2pic01", "jpg"}, "k000003.jpg");
        grows("double extension", a, "pic01.tar.gz", {"pic", "01", "tar.gz"}, "pic02.tar.gz",
              "pic100.tar.gz");
        grows("double extension and query", a, "pic01.tar.gz?x=1", {"pic", "01", "tar.gz?x=1"},
              "pic02.tar.gz?x=1", "pic100.tar.gz?x=1");
        grows("query", a, "pic012.jpg?size=2", {"pic", "012", "jpg?size=2"}, "pic013.jpg?size=2",
              "pic1000.jpg?size=2");
        grows("dot in the query", a, "pic1.jpg?v=1.2", {"pic", "1", "jpg?v=1.2"}, "pic2.jpg?v=1.2",
              "pic10.jpg?v=1.2");
        grows("dotted version", a, "a1.2.3.zip", {"a", "1", "2.3.zip"}, "a2.2.3.zip",
              "a10.2.3.zip");
        grows("dotted date", a, "2010.05.01.jpg", {"", "2010", "05.01.jpg"}, "2011.05.01.jpg",
              "10000.05.01.jpg");
        grows("escaped name before the number", d, "%E5%86%99%E7%9C%9F012.jpg",
              {"%E5%86%99%E7%9C%9F", "012", "jpg"}, "%E5%86%99%E7%9C%9F013.jpg",
              "%E5%86%99%E7%9C%9F1000.jpg");
        grows("lower-case escape", a, "x%e3%81%82b7.png", {"x%e3%81%82b", "7", "png"},
              "x%e3%81%82b8.png", "x%e3%81%82b10.png");
        grows("escaped blank before a growing number", a, "pic%20998.jpg", {"pic%20", "998", "jpg"},
              "pic%20999.jpg", "pic%201000.jpg");
        // The 1 in brackets is the first digit outside an escape, so the number starts there.
        grows("digit after escapes", a, "photo%20(1)%20012.jpg", {"photo%20(", "1)%20012", "jpg"},
              "photo%20(00000002.jpg", "photo%20(100000000.jpg");
        grows("escaped digits only", a, "%31%32.jpg", {"", "%31%32", "jpg"}, "000001.jpg",
              "1000000.jpg");
        row("file at root", "http://host", "pic5.png", {"pic", "5", "png"}, "pic6.png");
        row("bare host", "http:/", "abc.lan", {"", "abc", "lan"}, "001.lan");
        row("https", "https://host/dir", "pic012.jpg", {"pic", "012", "jpg"}, "pic013.jpg");
        row("ftp", "ftp://host/a", "b01.zip", {"b", "01", "zip"}, "b02.zip");
        row("slash runs collapse", d, "/pic012.jpg", {"pic", "012", "jpg"}, "pic013.jpg");
        row("empty number", a, ".jpg", {"", "", "jpg"}, "1.jpg");
        row("empty extension keeps its dot", a, "x1.", {"x", "1", ""}, "x2.");
        row("all digits beyond 64 bits", a, "v99999999999999999999.bin",
            {"v", "99999999999999999999", "bin"}, "v100000000000000000000.bin");
        row("non-ASCII digit", a, u"p\u0661.jpg"_s, {"p", u"\u0661"_s, "jpg"}, "p1.jpg");
        row("edited with a leading blank", a, "p1.jpg", {"p", "1", "jpg"}, "p06.jpg", " 5");
        row("edited negative to zero", a, "p1.jpg", {"p", "1", "jpg"}, "p00.jpg", "-1");
        row("edited with zeros before the sign", a, "p1.jpg", {"p", "1", "jpg"}, "p0-4.jpg", "-05");
        row("digit in extension", a, "song.mp3", {});
        row("digit in query", a, "img.php?id=012", {});
        row("digit opens the extension", a, "archive.7z", {});
        row("escaped digit in extension", a, "song.m%34a", {"", "song", "m%34a"}, "0001.m%34a");
        row("site with trailing slash", "http:/", "abc.lan/", {});
        row("no dot", d, "pic012", {});
    }

    void split()
    {
        QFETCH(QString, location);
        QFETCH(QString, file);
        QFETCH(QStringList, parts);
        QFETCH(QString, edited);
        QFETCH(QString, grownFile);
        const QString address = location + '/' + file;
        const Split split = parseFileElement(address);
        QCOMPARE(split.countable, !parts.isEmpty());
        if (split.countable) {
            QCOMPARE(QStringList({split.fileName, split.number, split.extension}), parts);
            QCOMPARE(locationOf(address), location);
            FileElementStore store;
            store.set({location, split.fileName, split.number, split.extension});
            store.setNumber(edited.isEmpty() ? split.number : edited);
            QFETCH(QString, nextFile);
            QCOMPARE(fullAddress(store.countUp()), location + '/' + nextFile);
            if (!grownFile.isEmpty()) {
                store.setNumber(QString(split.number.size(), u'9'));
                QCOMPARE(fullAddress(store.countUp()), location + '/' + grownFile);
            }
        }
    }

    void downloadFileName_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* name, QString last, QString saved, QString reason = {}) {
            QTest::newRow(name) << "http://h/d/" + last << saved << reason;
        };
        const QString unsafe = u"ReasonNameUnsafe"_s, tooLong = u"ReasonNameTooLong"_s;
        const QString kanji = u"\u5199"_s, kanjiEscaped = u"%E5%86%99"_s; // 3 bytes in UTF-8
        row("escaped blank", "pic%20012.jpg", "pic 012.jpg");
        row("raw blank", "pic 012.jpg", "pic 012.jpg");
        row("query dropped", "pic012.jpg?x=1/2", "pic012.jpg");
        row("fragment dropped", "pic012.jpg#top/2", "pic012.jpg");
        row("escaped UTF-8", "%E5%86%99%E7%9C%9F012.jpg", u"\u5199\u771f012.jpg"_s);
        row("raw non-ASCII", u"\u5199\u771f012.jpg"_s, u"\u5199\u771f012.jpg"_s);
        row("stray percent", "100%.jpg", "100%.jpg");
        row("escaped percent", "100%2541.jpg", "100%41.jpg");
        row("invalid UTF-8", "%FF.jpg", u"\uFFFD.jpg"_s);
        row("escaped slash", "a%2Fb.jpg", "a/b.jpg", unsafe);
        row("escaped NUL", "%00.jpg", u"\0.jpg"_s, unsafe);
        row("escaped dot", "%2E", ".", unsafe);
        row("dot dot", "..", "..", unsafe);
        row("escaped dot dot", "%2E%2E", "..", unsafe);
        row("dots inside a name", "..jpg", "..jpg");
        row("empty last segment", "", "", u"ReasonNameEmpty"_s);
        row("255 bytes", QString(251, u'a') + ".jpg", QString(251, u'a') + ".jpg");
        row("256 bytes", QString(252, u'a') + ".jpg", QString(252, u'a') + ".jpg", tooLong);
        row("255 bytes in 85 characters", kanjiEscaped.repeated(85), kanji.repeated(85));
        row("258 bytes in 86 characters", kanjiEscaped.repeated(86), kanji.repeated(86), tooLong);
        QTest::newRow("host only") << u"http://h"_s << QString() << u"ReasonNameEmpty"_s;
    }

    void downloadFileName()
    {
        QFETCH(QString, address);
        QFETCH(QString, name);
        const QUrl url = download::urlOf(address);
        QVERIFY(url.isValid());
        QCOMPARE(address::downloadFileName(url), name);
        QTEST(unsafeNameReason(name), "reason");
    }

    void storeNeverMixesTwoElements()
    {
        // Each field carries its element's tag; counting up never reaches the other tag.
        const auto whole = [](const FileElement& e) {
            return e.location == e.fileName && e.fileName == e.extension &&
                   e.number.startsWith(e.location);
        };
        FileElementStore store;
        const FileElement a{"10", "10", "10000000000", "10"}, b{"20", "20", "20000000000", "20"};
        store.set(a);
        std::atomic<int> mixed{0}, rounds{0};
        {
            std::jthread worker([&](std::stop_token stop) {
                for (; !stop.stop_requested(); ++rounds)
                    mixed += !whole(store.countUp()) + !whole(store.get());
            });
            for (int i = 0; i < 1000000; ++i)
                store.set(i % 2 ? a : b);
        }
        QVERIFY(rounds > 0);
        QCOMPARE(mixed.load(), 0);
    }

    void isHTMLFile_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("html");
        QTest::newRow("mixed case after line breaks, tabs") << QByteArray("\r\n\t<Html>") << true;
        QTest::newRow("doctype after blanks") << QByteArray("  <!DOCTYPE html>\n<html>") << true;
        QTest::newRow("BOM and attributes") << QByteArray("\xEF\xBB\xBF<html lang=en>") << true;
        QTest::newRow("BOM, blank, doctype") << QByteArray("\xEF\xBB\xBF\n<!doctype html>") << true;
        QTest::newRow("cut tag") << QByteArray("<htm") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("blanks only") << QByteArray(" \n\t ") << false;
        QTest::newRow("tag after text") << QByteArray("hello <html>") << false;
        QTest::newRow("xml doctype") << QByteArray("<!doctype xml>") << false;
        QTest::newRow("blank before BOM") << QByteArray(" \xEF\xBB\xBF<html>") << false;
        const QByteArray blanks(html::kSniffLength - 5, '\r');
        QTest::newRow("tag ends the window") << blanks + "<html>" << true;
        QTest::newRow("tag past the window") << blanks + " <html>" << false;
    }

    void isHTMLFile()
    {
        QFETCH(QByteArray, data);
        QTEST(html::isHTMLFile(data), "html");
    }

    void createDatedFolder_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<int>("offsetMinutes");
        QTest::addColumn<QString>("made");
        QTest::newRow("behind with minutes") << "re" << -210 << "re/2004-03-05 04:05:09 -0330";
        QTest::newRow("zero offset") << "re" << 0 << "re/2004-03-05 04:05:09 +0000";
        QTest::newRow("same second, reused") << "re/" << 540 << "re/2004-03-05 04:05:09 +0900";
        QTest::newRow("base is a file") << "file.txt" << 540 << "";
        QTest::newRow("parent missing") << "missing/sub" << 540 << "";
        QTest::newRow("file in the folder's place") << "taken" << 540 << "";
        QTest::newRow("no base") << "" << 540 << "";
    }

    void createDatedFolder()
    {
        QFETCH(QString, base);
        QFETCH(int, offsetMinutes);
        QFETCH(QString, made);
        const QString kept = "re/2004-03-05 04:05:09 +0900/pic001.jpg";
        QTemporaryDir tmp;
        const QDir dir(tmp.path());
        for (const QString& file : {kept, u"file.txt"_s, u"taken/2004-03-05 04:05:09 +0900"_s})
            QVERIFY(dir.mkpath(QFileInfo(file).path()) && touch(dir.filePath(file)));
        const QDateTime moment({2004, 3, 5}, {4, 5, 9}, Qt::OffsetFromUTC, offsetMinutes * 60);
        QCOMPARE(folder::createDatedFolder(base.isEmpty() ? base : dir.filePath(base), moment),
                 made.isEmpty() ? made : dir.filePath(made));
        // A second run in the same second shares the folder and must not lose what is in it.
        QVERIFY(QFileInfo::exists(dir.filePath(kept)));
    }

    void listFilesAndMenu_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QStringList>("titles");
        const QStringList all{".hidden",  "README",    "a.gif",       "a.jpg",     "a.tar.gz",
                              "pic9.jpg", "pic10.jpg", "pic010b.jpg", "pic100.jpg"};
        const QStringList titles{"README", "a", "a", "a.tar", "pic9", "pic10", "pic010b", "pic100"};
        QTest::newRow("plain files by number") << "d.x" << all << titles;
        QTest::newRow("missing") << "missing" << QStringList() << QStringList();
        QTest::newRow("no folder") << "" << QStringList() << QStringList();
    }

    void listFilesAndMenu()
    {
        QFETCH(QString, dir);
        QFETCH(QStringList, names);
        QTemporaryDir tmp;
        const QDir d(tmp.filePath("d.x"));
        QVERIFY(d.mkpath("sub") && QFile::link(d.filePath("gone.jpg"), d.filePath("pic6.jpg")));
        for (const char* name : {"pic100.jpg", "pic9.jpg", "a.jpg", ".hidden", "README", "a.tar.gz",
                                 "pic10.jpg", "a.gif", "pic010b.jpg"})
            QVERIFY(touch(d.filePath(name)));
        // Opening a pipe from the menu would hang the viewer: only regular files count.
        QCOMPARE(::mkfifo(QFile::encodeName(d.filePath("pic7.jpg")).constData(), 0600), 0);
        const QStringList listed = folder::listFiles(dir.isEmpty() ? dir : tmp.filePath(dir));
        QStringList titles;
        for (const QString& path : listed)
            if (folder::isValidFileName(QFileInfo(path).fileName()))
                titles << folder::menuTitle(path);
        for (QString& name : names)
            name.prepend(d.path() + '/');
        QCOMPARE(listed, names);
        QTEST(titles, "titles");
    }

    void filePathIn_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << u"/d/out"_s << u"pic012.jpg"_s << u"/d/out/pic012.jpg"_s;
        QTest::newRow("folder with slash") << u"/d/out/"_s << u"a.jpg"_s << u"/d/out/a.jpg"_s;
        QTest::newRow("hidden name") << u"/d"_s << u".x.jpg"_s << u"/d/.x.jpg"_s;
        QTest::newRow("no folder") << QString() << u"a.jpg"_s << QString();
        QTest::newRow("empty name") << u"/d"_s << QString() << QString();
        QTest::newRow("dot") << u"/d"_s << u"."_s << QString();
        QTest::newRow("dot dot") << u"/d"_s << u".."_s << QString();
        QTest::newRow("climbs out") << u"/d"_s << u"../x.jpg"_s << QString();
        QTest::newRow("absolute") << u"/d"_s << u"/etc/x"_s << QString();
    }

    void filePathIn()
    {
        QFETCH(QString, dir);
        QFETCH(QString, name);
        QTEST(folder::filePathIn(dir, name), "path");
    }

    // Which names of a folder are listed, and in what order.
    void listingOrder_data()
    {
        QTest::addColumn<QStringList>("names"); // created in this order
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("own temporary files are not listed")
            << QStringList{".stepgrab-k3x9q.part", "pic1.jpg", ".stepgrab-77.part"}
            << QStringList{"pic1.jpg"};
        QTest::newRow("names only like a temporary file are")
            << QStringList{".stepgrab-A1.part", ".stepgrab-.part", ".stepgrab-a1.partial",
                           "stepgrab-a1.part", ".stepgrab-a_1.part"}
            << QStringList{".stepgrab-.part", ".stepgrab-A1.part", ".stepgrab-a1.partial",
                           ".stepgrab-a_1.part", "stepgrab-a1.part"};
        QTest::newRow("leading zeros: by value, then as written")
            << QStringList{"p7.jpg", "p007.jpg", "p07.jpg", "p6.jpg", "p08.jpg"}
            << QStringList{"p6.jpg", "p007.jpg", "p07.jpg", "p7.jpg", "p08.jpg"};
        QTest::newRow("a number against a letter or a shorter name")
            << QStringList{"a_1", "a1", "a", "a1b", "aa", "a10", "a2"}
            << QStringList{"a", "a1", "a1b", "a2", "a10", "a_1", "aa"};
        QTest::newRow("runs longer than 64 bits")
            << QStringList{"x100000000000000000000", "x99999999999999999999", "x0"}
            << QStringList{"x0", "x99999999999999999999", "x100000000000000000000"};
        QTest::newRow("non-ASCII names come back whole")
            << QStringList{u"写真10.jpg"_s, u"写真9.jpg"_s, u"Ärger.txt"_s}
            << QStringList{u"Ärger.txt"_s, u"写真9.jpg"_s, u"写真10.jpg"_s};
    }

    void listingOrder()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, listed);
        QTemporaryDir tmp;
        for (const QString& name : names)
            QVERIFY(touch(tmp.filePath(name)));
        const folder::Listing listing(tmp.path());
        QStringList out;
        for (qsizetype i = 0; i < listing.size(); ++i)
            out << listing.name(i);
        QCOMPARE(out, listed);
        QCOMPARE(listing.paths(),
                 QStringList(listed).replaceInStrings(QRegularExpression("^"), tmp.path() + u'/'));
    }

    // A long menu in sections of at most `page` entries: [first, last) of each.
    void menuSections_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("sections");
        QTest::newRow("fits") << 3 << 3 << "";
        QTest::newRow("one over") << 4 << 3 << "0-3 3-4";
        QTest::newRow("whole pages") << 9 << 3 << "0-3 3-6 6-9";
        QTest::newRow("more pages than a menu holds") << 10 << 3 << "0-9 9-10";
        QTest::newRow("three levels") << 28 << 3 << "0-27 27-28";
        QTest::newRow("none") << 0 << 3 << "";
    }

    void menuSections()
    {
        QFETCH(int, count);
        QFETCH(int, page);
        QStringList out;
        for (const auto& [first, last] : folder::menuSections(5, 5 + count, page))
            out << u"%1-%2"_s.arg(first - 5).arg(last - 5);
        QTEST(out.join(u' '), "sections");
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
