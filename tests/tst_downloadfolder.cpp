#include "download/downloadfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <sys/stat.h>
#include <unistd.h>

class TestDownloadFolder : public QObject
{
    Q_OBJECT

private slots:
    void datedFolderName_data();
    void datedFolderName();
    void createDatedFolderReusesSameSecond();
    void createDatedFolderFails_data();
    void createDatedFolderFails();
    void listFilesSortsPlainFiles();
    void listFilesOfNoFolder_data();
    void listFilesOfNoFolder();
    void filePathIn_data();
    void filePathIn();
    void menuTitle_data();
    void menuTitle();
    void isValidFileName_data();
    void isValidFileName();

private:
    static bool touch(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
    }
};

void TestDownloadFolder::datedFolderName_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("name");

    const auto at = [](int y, int mo, int d, int h, int mi, int s, int offsetSeconds) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::OffsetFromUTC, offsetSeconds);
    };
    QTest::newRow("nine hours ahead")
        << at(2004, 3, 15, 14, 5, 9, 9 * 3600) << "2004-03-15 14:05:09 +0900";
    QTest::newRow("behind with minutes")
        << at(2004, 3, 15, 14, 5, 9, -(3 * 3600 + 30 * 60)) << "2004-03-15 14:05:09 -0330";
    QTest::newRow("ahead with minutes")
        << at(2021, 12, 31, 23, 59, 59, 5 * 3600 + 45 * 60) << "2021-12-31 23:59:59 +0545";
    QTest::newRow("zero offset") << at(2000, 1, 2, 0, 0, 0, 0) << "2000-01-02 00:00:00 +0000";
    QTest::newRow("utc") << QDateTime(QDate(2010, 7, 4), QTime(8, 9, 10), Qt::UTC)
                         << "2010-07-04 08:09:10 +0000";
    const QTimeZone berlin("Europe/Berlin");
    QTest::newRow("zone in summer time")
        << QDateTime(QDate(2020, 7, 1), QTime(12, 0), berlin) << "2020-07-01 12:00:00 +0200";
    QTest::newRow("same zone in winter")
        << QDateTime(QDate(2020, 1, 1), QTime(12, 0), berlin) << "2020-01-01 12:00:00 +0100";
}

void TestDownloadFolder::datedFolderName()
{
    QFETCH(QDateTime, moment);
    if (!moment.isValid())
        QSKIP("no time-zone data for this row on this machine");
    QTEST(folder::datedFolderName(moment), "name");
}

void TestDownloadFolder::createDatedFolderReusesSameSecond()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDateTime moment(QDate(2004, 3, 15), QTime(14, 5, 9), Qt::OffsetFromUTC, 9 * 3600);
    const QString expected = tmp.path() + "/2004-03-15 14:05:09 +0900";

    QCOMPARE(folder::createDatedFolder(tmp.path(), moment), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QVERIFY(touch(expected + "/pic001.jpg"));
    // A second run in the same second shares the folder and keeps what is in it.
    QCOMPARE(folder::createDatedFolder(tmp.path() + "/", moment), expected);
    QVERIFY(QFileInfo::exists(expected + "/pic001.jpg"));
}

void TestDownloadFolder::createDatedFolderFails_data()
{
    QTest::addColumn<QString>("base");

    QTest::newRow("base is a file") << "file.txt";
    QTest::newRow("base under a file") << "file.txt/sub";
    QTest::newRow("base missing") << "missing";
    QTest::newRow("base parent missing") << "missing/sub";
    QTest::newRow("file in the folder's place") << "taken";
    QTest::newRow("read-only base") << "readonly";
    QTest::newRow("no base") << QString();
}

void TestDownloadFolder::createDatedFolderFails()
{
    QFETCH(QString, base);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QDateTime moment(QDate(2004, 3, 15), QTime(14, 5, 9), Qt::OffsetFromUTC, 0);
    const QString name = folder::datedFolderName(moment);
    QVERIFY(touch(tmp.filePath("file.txt")));
    QVERIFY(QDir(tmp.path()).mkdir("taken"));
    QVERIFY(touch(tmp.filePath("taken/" + name)));
    QVERIFY(QDir(tmp.path()).mkdir("readonly"));
    QVERIFY(QFile::setPermissions(tmp.filePath("readonly"), QFile::ReadOwner | QFile::ExeOwner));
    if (base == "readonly" && geteuid() == 0)
        QSKIP("root writes into read-only folders");

    const QString path = base.isEmpty() ? base : tmp.filePath(base);
    QCOMPARE(folder::createDatedFolder(path, moment), QString());
    QVERIFY(!QFileInfo(path + "/" + name).isDir());
}

void TestDownloadFolder::listFilesSortsPlainFiles()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QStringList created{"pic100.jpg", "pic9.jpg", "a.jpg",      ".hidden",
                              "pic10.jpg",  "a.gif",    "pic010b.jpg"};
    for (const QString& name : created)
        QVERIFY(touch(tmp.filePath(name)));
    QVERIFY(QDir(tmp.path()).mkpath("sub/deeper"));
    QVERIFY(touch(tmp.filePath("sub/pic1.jpg")));
    QVERIFY(QFile::link(tmp.filePath("sub"), tmp.filePath("pic5.jpg")));
    QVERIFY(QFile::link(tmp.filePath("gone.jpg"), tmp.filePath("pic6.jpg")));
    // Opening a pipe from the menu would hang the viewer: only regular files count.
    QCOMPARE(::mkfifo(QFile::encodeName(tmp.filePath("pic7.jpg")).constData(), 0600), 0);

    QStringList expected;
    for (const char* name :
         {".hidden", "a.gif", "a.jpg", "pic9.jpg", "pic10.jpg", "pic010b.jpg", "pic100.jpg"})
        expected << tmp.path() + "/" + name;
    QCOMPARE(folder::listFiles(tmp.path()), expected);
    QCOMPARE(folder::listFiles(tmp.path() + "/"), expected);
}

void TestDownloadFolder::listFilesOfNoFolder_data()
{
    QTest::addColumn<QString>("dir");

    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file.txt";
    QTest::newRow("no folder") << QString();
    QTest::newRow("unreadable") << "locked";
}

void TestDownloadFolder::listFilesOfNoFolder()
{
    QFETCH(QString, dir);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(touch(tmp.filePath("file.txt")));
    QVERIFY(QDir(tmp.path()).mkdir("locked"));
    QVERIFY(touch(tmp.filePath("locked/a.jpg")));
    QVERIFY(QFile::setPermissions(tmp.filePath("locked"), QFile::ExeOwner));
    const auto unlock = qScopeGuard([&] {
        QFile::setPermissions(tmp.filePath("locked"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
    if (dir == "locked" && geteuid() == 0)
        QSKIP("root reads folders without read permission");
    QCOMPARE(folder::listFiles(dir.isEmpty() ? dir : tmp.filePath(dir)), QStringList());
}

void TestDownloadFolder::filePathIn_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    const auto row = [](const char* name, QString dir, QString file, QString path) {
        QTest::newRow(name) << dir << file << path;
    };

    row("plain", "/d/out", "pic012.jpg", "/d/out/pic012.jpg");
    row("dir with slash", "/d/out/", "pic012.jpg", "/d/out/pic012.jpg");
    row("root dir", "/", "a.jpg", "/a.jpg");
    row("hidden name", "/d", ".x.jpg", "/d/.x.jpg");
    row("empty extension", "/d", "x1.", "/d/x1.");
    row("empty name", "/d", "", "");
    row("dot", "/d", ".", "");
    row("dot dot", "/d", "..", "");
    row("climbs out", "/d", "../x.jpg", "");
    row("subfolder", "/d", "a/b.jpg", "");
    row("absolute", "/d", "/etc/x", "");
}

void TestDownloadFolder::filePathIn()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QTEST(folder::filePathIn(dir, name), "path");
}

void TestDownloadFolder::menuTitle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    const auto row = [](const char* name, QString path, QString title) {
        QTest::newRow(name) << path << title;
    };

    row("picture", "/d/pic012.jpg", "pic012");
    row("last extension only", "/d/a.tar.gz", "a.tar");
    row("no dot", "/d/README", "README");
    row("dot in folder only", "/d.x/README", "README");
}

void TestDownloadFolder::menuTitle()
{
    QFETCH(QString, path);
    QTEST(folder::menuTitle(path), "title");
}

void TestDownloadFolder::isValidFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");

    QTest::newRow("picture") << "pic012.jpg" << true;
    QTest::newRow("dot inside") << "a.tar.gz" << true;
    QTest::newRow("hidden") << ".hidden" << false;
    QTest::newRow("hidden with extension") << ".x.jpg" << false;
}

void TestDownloadFolder::isValidFileName()
{
    QFETCH(QString, name);
    QTEST(folder::isValidFileName(name), "valid");
}

QTEST_GUILESS_MAIN(TestDownloadFolder)
#include "tst_downloadfolder.moc"
