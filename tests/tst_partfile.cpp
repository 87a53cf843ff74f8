#include "download/downloadfolder.h"
#include "download/partfile.h"
#include "download/target.h"
#include "support/files.h"
#include "support/table.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestPartFile : public QObject
{
    Q_OBJECT

    // Whether the folder's file system has unnamed files; the unnamed rows need them.
    static bool hasUnnamedFiles(const QString& folder)
    {
        const int probe = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
        ::close(probe);
        return probe >= 0;
    }

private slots:
    void cleanup() { PartFile::setUnnamedFilesForTesting(true); }

    // A part file beside an earlier download of its name, which only a commit may replace.
    // Swapped: the folder is renamed mid-write and a link to another folder put under its old
    // name; the file still lands in the folder that was opened, rewound or not.
    void lifecycle_data()
    {
        columns<bool, QString, QString, QByteArray>("named", "scenario", "reason", "kept");
        const QByteArray whole = "abc" + QByteArray(8192, 'x');
        for (const bool named : {false, true}) {
            const auto row = [named](const char* scenario, const QByteArray& kept,
                                     const QString& reason = {}) {
                QTest::addRow("%s: %s", named ? "named" : "unnamed", scenario)
                    << named << QString::fromLatin1(scenario) << reason << kept;
            };
            row("commit", whole);
            row("discard", "old");
            row("write error", "old", qt_error_string(EFBIG));
            row("swapped", whole);
            row("swapped, rewound", "again");
        }
    }
    void lifecycle()
    {
        QFETCH(bool, named);
        QFETCH(QString, scenario);
        QTemporaryDir dir;
        if (!named && !hasUnnamedFiles(dir.path()))
            QSKIP("the temporary folder's file system has no unnamed files");
        PartFile::setUnnamedFilesForTesting(!named);
        const QString run = dir.filePath(u"run"_s), elsewhere = dir.filePath(u"elsewhere"_s);
        const bool swapped = scenario.startsWith(u"swapped");
        const QString landed = swapped ? dir.filePath(u"moved"_s) : run;
        QVERIFY(QDir().mkdir(run) && QDir().mkdir(elsewhere));
        QVERIFY(writeFile(run + u"/p01.jpg"_s, "old"));
        const auto runFolder = folder::RunFolder::open(run, nullptr);
        QVERIFY(runFolder);
        PartFile file(runFolder, u"p01.jpg"_s);
        bool ok = file.open();
        if (ok) {
            const QStringList hidden = QDir(run).entryList({".*"}, QDir::Files | QDir::Hidden);
            QCOMPARE(hidden.size(), named ? 1 : 0);
            QVERIFY(!named || PartFile::isTemporaryName(hidden.first()));
            // Past RLIMIT_FSIZE a write fails with EFBIG, as a real write error would.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit was{};
            getrlimit(RLIMIT_FSIZE, &was);
            const rlimit limited{scenario == u"write error" ? 4096 : was.rlim_cur, was.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limited);
            ok = file.write("abc");
            if (swapped) {
                QVERIFY(QFile::rename(run, landed));
                QVERIFY(QFile::link(elsewhere, run));
            }
            ok = ok && file.write(QByteArray(8192, 'x'));
            setrlimit(RLIMIT_FSIZE, &was);
        }
        if (ok && scenario.endsWith(u"rewound"))
            ok = file.rewind() && file.write("again");
        ok = ok && (scenario == u"discard" ? (file.discard(), true) : file.commit());
        QTEST(file.errorString(), "reason");
        QCOMPARE(ok, file.errorString().isEmpty());
        QCOMPARE(entries(landed), QStringList{u"p01.jpg"_s});
        QTEST(fileBytes(landed + u"/p01.jpg"_s), "kept");
        QCOMPARE(entries(elsewhere), QStringList());
    }

    // What is under the dated folder's name before the run makes it.
    void datedFolder_data()
    {
        // reason "-": no folder, and no reason either
        columns<QString, QString>("planted", "reason");
        QTest::newRow("fresh") << u""_s << u""_s;
        QTest::newRow("same second: the user's own folder") << u"folder"_s << u""_s;
        QTest::newRow("link to another folder") << u"link"_s << u"ReasonFolderRefused"_s;
        QTest::newRow("plain file") << u"file"_s << u"ReasonFolderRefused"_s;
        QTest::newRow("another user's folder") << u"foreign"_s << u"ReasonFolderRefused"_s;
        QTest::newRow("output folder missing") << u"no base"_s << u"-"_s;
    }
    void datedFolder()
    {
        QFETCH(QString, planted);
        QFETCH(QString, reason);
        if (planted == u"foreign" && ::geteuid() != 0)
            QSKIP("only root can make a folder that belongs to someone else");
        QTemporaryDir dir;
        const QString base = dir.filePath(u"out"_s), elsewhere = dir.filePath(u"elsewhere"_s);
        QVERIFY(QDir().mkdir(elsewhere));
        if (planted != u"no base")
            QVERIFY(QDir().mkdir(base));
        const QDateTime moment(QDate(2004, 3, 15), QTime(14, 5, 9), QTimeZone(9 * 3600));
        const QString name = u"2004-03-15 14:05:09 +0900"_s, path = base + u'/' + name;
        const QByteArray encoded = QFile::encodeName(path);
        if (planted == u"folder" || planted == u"foreign")
            QVERIFY(QDir().mkdir(path));
        if (planted == u"foreign")
            QCOMPARE(::chown(encoded.constData(), 65534, 65534), 0);
        if (planted == u"link")
            QVERIFY(QFile::link(elsewhere, path));
        if (planted == u"file")
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));

        QString why = u"unset"_s;
        const auto made = folder::createDatedFolder(base, moment, &why);
        QCOMPARE(why, reason == u"-" ? QString() : reason);
        QCOMPARE(bool(made), reason.isEmpty());
        if (made) {
            QCOMPARE(made->path(), path);
            PartFile file(made, u"p01.jpg"_s);
            QVERIFY(file.open() && file.write("x") && file.commit());
            QCOMPARE(fileBytes(path + u"/p01.jpg"_s), "x"_ba);
        }
        QCOMPARE(entries(elsewhere), QStringList());
        QCOMPARE(QFileInfo(path).isSymLink(), planted == u"link");
    }

    // What the clean-up at the start of a run removes, and that no download can be named so.
    void removeStale_data()
    {
        // name: empty for the one a live PartFile holds
        columns<QString, bool, bool>("name", "ours", "removed");
        QTest::newRow("left by a process that died")
            << u".stepgrab-0123456789abc.part"_s << true << true;
        QTest::newRow("held by a live PartFile") << u""_s << true << false;
        QTest::newRow("random part of 14: not ours")
            << u".stepgrab-0123456789abcd.part"_s << false << false;
    }
    void removeStale()
    {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        QFETCH(bool, removed);
        QTemporaryDir dir;
        const auto runFolder = folder::RunFolder::open(dir.path(), nullptr);
        QVERIFY(runFolder);
        PartFile::setUnnamedFilesForTesting(false);
        PartFile live(runFolder, u"p01.jpg"_s);
        if (name.isEmpty()) {
            QVERIFY(live.open());
            name = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).value(0);
        } else {
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        }
        QCOMPARE(PartFile::removeStale(*runFolder), int(removed));
        QCOMPARE(QFileInfo::exists(dir.filePath(name)), !removed);
        // A name the clean-up may take is never a download's.
        QCOMPARE(download::targetOf(u"http://h/d/"_s + name, runFolder).refusal,
                 ours ? u"ReasonNameUnsafe"_s : QString());
    }
};

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
