#include "download/partfile.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestPartFile : public QObject
{
    Q_OBJECT

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
        }
    }
    void lifecycle()
    {
        QFETCH(bool, named);
        QFETCH(QString, scenario);
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
        bool ok = file.open();
        if (ok) {
            const QStringList hidden = QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden);
            QCOMPARE(hidden.size(), named ? 1 : 0);
            QVERIFY(!named || PartFile::isTemporaryName(hidden.first()));
            // This run's clean-up may not take it while in use.
            QCOMPARE(PartFile::removeStale(folder), 0);
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
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), scenario == u"commit" ? "abc" + QByteArray(8192, 'x') : ""_ba);
    }
};

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
