#include "download/downloadfolder.h"
#include "download/partfile.h"
#include "download/target.h"

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

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "(none)"_ba;
    }
    static QStringList entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot |
                                      QDir::System);
    }
    // Whether the folder's file system has unnamed files; the unnamed rows need them.
    static bool hasUnnamedFiles(const QString& folder)
    {
        const int probe = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
        ::close(probe);
        return probe >= 0;
    }

private slots:
    void cleanup() { PartFile::setUnnamedFilesForTesting(true); }

    void lifecycle_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("reason");
        for (const bool named : {false, true}) {
            const auto row = [named](const char* scenario, const QString& reason) {
                QTest::addRow("%s: %s", named ? "named" : "unnamed", scenario)
                    << named << QString::fromLatin1(scenario) << reason;
            };
            row("commit", {});
            row("discard", {});
            row("write error", qt_error_string(EFBIG));
        }
    }
    void lifecycle()
    {
        QFETCH(bool, named);
        QFETCH(QString, scenario);
        QTemporaryDir dir;
        const QString folder = dir.path(), path = dir.filePath(u"p01.jpg"_s);
        if (!named && !hasUnnamedFiles(folder))
            QSKIP("the temporary folder's file system has no unnamed files");
        PartFile::setUnnamedFilesForTesting(!named);
        // An earlier download of the name, which only a commit may replace.
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const auto runFolder = folder::RunFolder::open(folder, nullptr);
        QVERIFY(runFolder);
        PartFile file(runFolder, u"p01.jpg"_s);
        bool ok = file.open();
        if (ok) {
            const QStringList hidden = QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden);
            QCOMPARE(hidden.size(), named ? 1 : 0);
            QVERIFY(!named || PartFile::isTemporaryName(hidden.first()));
            // This run's clean-up may not take it while in use.
            QCOMPARE(PartFile::removeStale(*runFolder), 0);
            // Past RLIMIT_FSIZE a write fails with EFBIG, as a real write error would.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit was{};
            getrlimit(RLIMIT_FSIZE, &was);
            const rlimit limited{scenario == u"write error" ? 4096 : was.rlim_cur, was.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limited);
            ok = file.write("abc") && file.write(QByteArray(8192, 'x'));
            setrlimit(RLIMIT_FSIZE, &was);
        }
        ok = ok && (scenario == u"discard" ? (file.discard(), true) : file.commit());
        QTEST(file.errorString(), "reason");
        QCOMPARE(ok, file.errorString().isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"p01.jpg"_s});
        QCOMPARE(contents(path), scenario == u"commit" ? "abc" + QByteArray(8192, 'x') : ""_ba);
    }

    // The folder is renamed while the file is written, and a link to another folder is put
    // under its old name: the file still lands in the folder that was opened.
    void folderSwappedMidWrite_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<bool>("rewound"); // written again from the start, as after a resume
        for (const bool named : {false, true})
            for (const bool rewound : {false, true})
                QTest::addRow("%s%s", named ? "named" : "unnamed", rewound ? ", rewound" : "")
                    << named << rewound;
    }
    void folderSwappedMidWrite()
    {
        QFETCH(bool, named);
        QFETCH(bool, rewound);
        QTemporaryDir dir;
        if (!named && !hasUnnamedFiles(dir.path()))
            QSKIP("the temporary folder's file system has no unnamed files");
        PartFile::setUnnamedFilesForTesting(!named);
        QVERIFY(QDir(dir.path()).mkdir(u"run"_s) && QDir(dir.path()).mkdir(u"elsewhere"_s));
        const auto runFolder = folder::RunFolder::open(dir.filePath(u"run"_s), nullptr);
        QVERIFY(runFolder);
        PartFile file(runFolder, u"p01.jpg"_s);
        QVERIFY(file.open());
        QVERIFY(file.write("first "));
        QVERIFY(QFile::rename(dir.filePath(u"run"_s), dir.filePath(u"moved"_s)));
        QVERIFY(QFile::link(dir.filePath(u"elsewhere"_s), dir.filePath(u"run"_s)));
        QVERIFY(file.write("part"));
        QCOMPARE(file.size(), 10);
        if (rewound) {
            QVERIFY(file.rewind());
            QCOMPARE(file.size(), 0);
            QVERIFY(file.write("again"));
            QCOMPARE(file.size(), 5);
        }
        QVERIFY2(file.commit(), qPrintable(file.errorString()));
        QCOMPARE(contents(dir.filePath(u"moved/p01.jpg"_s)),
                 rewound ? "again"_ba : "first part"_ba);
        QCOMPARE(entries(dir.filePath(u"moved"_s)), QStringList{u"p01.jpg"_s});
        QCOMPARE(entries(dir.filePath(u"elsewhere"_s)), QStringList());
    }

    // What is under the dated folder's name before the run makes it.
    void datedFolder_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("reason"); // "-": no folder, and no reason either
        QTest::newRow("fresh") << u""_s << u""_s;
        QTest::newRow("same second: the user's own folder") << u"folder"_s << u""_s;
        QTest::newRow("link to another folder") << u"link"_s << u"ReasonFolderRefused"_s;
        QTest::newRow("dangling link") << u"dangling"_s << u"ReasonFolderRefused"_s;
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
        if (planted == u"link" || planted == u"dangling")
            QVERIFY(QFile::link(planted == u"link" ? elsewhere : dir.filePath(u"gone"_s), path));
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
            QCOMPARE(contents(path + u"/p01.jpg"_s), "x"_ba);
        }
        QCOMPARE(entries(elsewhere), QStringList());
        QCOMPARE(QFileInfo(path).isSymLink(), planted == u"link" || planted == u"dangling");
    }

    // What the clean-up at the start of a run removes, and that no download can be named so.
    void removeStale_data()
    {
        QTest::addColumn<QString>("name"); // empty: the one a live PartFile holds
        QTest::addColumn<bool>("ours");
        QTest::addColumn<bool>("removed");
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
        const download::Target target = download::targetOf(u"http://h/d/"_s + name, runFolder);
        QCOMPARE(target.refusal, ours ? u"ReasonNameUnsafe"_s : QString());
        QCOMPARE(target.path.isEmpty(), !target.refusal.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
