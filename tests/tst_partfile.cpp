#include "download/partfile.h"
#include "support/permissions.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestPartFile : public QObject
{
    Q_OBJECT

    // Another open file description of ours in folder, by the descriptor (unnamed ones have none).
    static int openAgain(const QString& folder)
    {
        for (QDirIterator it(u"/proc/self/fd"_s, QDir::AllEntries | QDir::System); it.hasNext();)
            if (const QFileInfo f = it.nextFileInfo(); f.symLinkTarget().startsWith(folder + '/'))
                return ::open(QFile::encodeName(f.filePath()).constData(), O_RDONLY | O_CLOEXEC);
        return -1;
    }

private slots:
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
            row("read-only folder", u"ReasonPermissionDenied"_s);
        }
    }
    void lifecycle()
    {
        QFETCH(bool, named);
        QFETCH(QString, scenario);
        const PermissionBitsEnforced enforced; // root too is held to the read-only folder
        QTemporaryDir dir;
        const QString folder = dir.path(), path = dir.filePath(u"p01.jpg"_s);
        const int probe = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY, 0600);
        if (!named && probe < 0)
            QSKIP("the temporary folder's file system has no unnamed files");
        ::close(probe);
        PartFile::setUnnamedFilesForTesting(!named);
        // An earlier download of the name, which only a commit may replace.
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        PartFile file(path);
        if (scenario == u"read-only folder")
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0500), 0);
        bool ok = file.open();
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
        if (ok) {
            const QStringList hidden = QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden);
            QCOMPARE(hidden.size(), named ? 1 : 0);
            QVERIFY(!named || PartFile::isTemporaryName(hidden.first()));
            // Neither this run's clean-up nor another process may take it while in use.
            QCOMPARE(PartFile::removeStale(folder), 0);
            const int other = openAgain(folder);
            QVERIFY(other >= 0 && ::flock(other, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK);
            ::close(other);
            // Past RLIMIT_FSIZE a write fails with EFBIG, as a real write error would.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit was{};
            getrlimit(RLIMIT_FSIZE, &was);
            const rlimit limited{scenario == u"write error" ? 4096 : was.rlim_cur, was.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limited);
            ok = file.write("abc") && file.write(QByteArray(8192, 'x'));
            setrlimit(RLIMIT_FSIZE, &was);
        }
        if (ok && scenario == u"discard")
            file.discard();
        else if (ok)
            ok = file.commit();
        QTEST(file.errorString(), "reason");
        QCOMPARE(ok, file.errorString().isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"p01.jpg"_s});
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), scenario == u"commit" ? "abc" + QByteArray(8192, 'x') : ""_ba);
    }

    void removeStale_data()
    {
        QTest::addColumn<QString>("name"); // a leading "!": locked through another description
        QTest::addColumn<int>("removed");
        QTest::newRow("random part of 13") << u".stepgrab-0123456789abc.part"_s << 1;
        QTest::newRow("random part of 14") << u".stepgrab-0123456789abcd.part"_s << 0;
        QTest::newRow("temporary locked elsewhere") << u"!.stepgrab-k2.part"_s << 0;
    }
    void removeStale()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QFile file(dir.filePath(name.mid(name.startsWith(u'!'))));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!name.startsWith(u'!') || ::flock(file.handle(), LOCK_EX) == 0);
        QFETCH(int, removed);
        QCOMPARE(PartFile::removeStale(dir.path()), removed);
        QCOMPARE(file.exists(), !removed);
    }
};

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
