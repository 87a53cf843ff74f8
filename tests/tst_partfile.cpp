#include "download/partfile.h"
#include "support/permissions.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Writing past the limit fails with EFBIG, as a real write error would, without a mount.
class FileSizeLimited
{
public:
    explicit FileSizeLimited(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &mSaved);
        const rlimit limited{bytes, mSaved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimited() { setrlimit(RLIMIT_FSIZE, &mSaved); }

private:
    rlimit mSaved{};
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// Another open file description of the file this process writes in folder, found through
// the descriptor table, since the unnamed kind has no name to open.
int openAgain(const QString& folder)
{
    for (const QString& fd : QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::System)) {
        const QByteArray link = "/proc/self/fd/" + fd.toLatin1();
        char target[4096];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target);
        if (n > 0 && QFile::decodeName(QByteArray(target, n)).startsWith(folder + u'/'))
            return ::open(link.constData(), O_RDONLY | O_CLOEXEC);
    }
    return -1;
}

enum Scenario { Commit, Discard, Destroy, WriteError, ReadOnly, Missing, Removed, TooLong };

} // namespace

class TestPartFile : public QObject
{
    Q_OBJECT

    bool mUnnamedSupported = false;

private slots:
    void initTestCase()
    {
        std::signal(SIGXFSZ, SIG_IGN);
        QTemporaryDir dir;
        const int fd =
            ::open(QFile::encodeName(dir.path()).constData(), O_TMPFILE | O_WRONLY, 0600);
        mUnnamedSupported = fd >= 0;
        if (fd >= 0)
            ::close(fd);
    }
    void cleanup() { PartFile::setUnnamedFilesForTesting(true); }

    void lifecycle_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<int>("scenario");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        for (const bool named : {false, true}) {
            const auto row = [named](const char* name, Scenario s, int code, QString reason) {
                QTest::addRow("%s: %s", named ? "named" : "unnamed", name)
                    << named << int(s) << code << reason;
            };
            row("commit, held while in use", Commit, 0, {});
            row("discard", Discard, 0, {});
            row("destruction", Destroy, 0, {});
            row("write error", WriteError, EFBIG, qt_error_string(EFBIG));
            row("read-only folder", ReadOnly, EACCES, u"ReasonPermissionDenied"_s);
            row("folder missing", Missing, ENOENT, u"ReasonFolderMissing"_s);
            row("folder removed before commit", Removed, ENOENT, u"ReasonFolderMissing"_s);
            row("name too long at commit", TooLong, ENAMETOOLONG, u"ReasonNameTooLong"_s);
        }
    }
    void lifecycle()
    {
        QFETCH(bool, named);
        QFETCH(int, scenario);
        QFETCH(int, code);
        QFETCH(QString, reason);
        if (!named && !mUnnamedSupported)
            QSKIP("the temporary folder's file system has no unnamed files");
        PartFile::setUnnamedFilesForTesting(!named);
        QTemporaryDir dir;
        const QString folder = dir.filePath(scenario == Missing ? u"missing"_s : u"f"_s);
        QVERIFY(scenario == Missing || QDir().mkdir(folder));
        const QString name = scenario == TooLong ? QString(300, u'n') + u".jpg"_s : u"p01.jpg"_s;
        std::optional<PartFile> file(std::in_place, folder + u'/' + name);
        std::optional<PermissionBitsEnforced> enforced;
        if (scenario == ReadOnly) {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            enforced.emplace();
        }
        bool ok = file->open();
        enforced.reset();
        if (ok) {
            const QStringList whileWriting = entries(folder);
            QCOMPARE(whileWriting.size(), named ? 1 : 0);
            QVERIFY(!named || PartFile::isTemporaryName(whileWriting.first()));
            if (scenario == Commit) {
                // Neither this run's clean-up nor another process may take it meanwhile.
                QCOMPARE(PartFile::removeStale(folder), 0);
                const int other = openAgain(folder);
                QVERIFY(other >= 0);
                const bool locked = ::flock(other, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
                ::close(other);
                QVERIFY(locked);
            }
            if (scenario == WriteError) {
                const FileSizeLimited limit(4096);
                ok = file->write(QByteArray(8192, 'x'));
            } else {
                ok = file->write("abc") && file->write("def");
            }
        }
        if (scenario == Removed)
            QVERIFY(QDir(folder).removeRecursively());
        if (ok && scenario == Discard)
            file->discard();
        else if (ok && scenario == Destroy)
            file.reset();
        else if (ok)
            ok = file->commit();
        QCOMPARE(ok, reason.isEmpty());
        QCOMPARE(file ? file->errorCode() : 0, code);
        QCOMPARE(file ? file->errorString() : QString(), reason);
        QCOMPARE(entries(folder), scenario == Commit ? QStringList{name} : QStringList{});
        QFile written(folder + u'/' + name);
        QVERIFY(scenario != Commit || written.open(QIODevice::ReadOnly));
        QCOMPARE(written.isOpen() ? written.readAll() : QByteArray(),
                 scenario == Commit ? "abcdef"_ba : QByteArray());
    }

    void removeStale_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<char>("kind"); // f file, l file locked elsewhere, d directory, s symlink
        QTest::addColumn<bool>("removed");
        QTest::newRow("unlocked temporary") << u".stepgrab-0123456789abc.part"_s << 'f' << true;
        QTest::newRow("short temporary") << u".stepgrab-k2.part"_s << 'f' << true;
        QTest::newRow("temporary locked elsewhere") << u".stepgrab-k2.part"_s << 'l' << false;
        QTest::newRow("picture") << u"pic001.jpg"_s << 'f' << false;
        QTest::newRow("hidden file") << u".hidden"_s << 'f' << false;
        QTest::newRow("upper case") << u".stepgrab-K2.part"_s << 'f' << false;
        QTest::newRow("random part too long") << u".stepgrab-0123456789abcd.part"_s << 'f' << false;
        QTest::newRow("visible") << u"stepgrab-k2.part"_s << 'f' << false;
        QTest::newRow("directory") << u".stepgrab-k2.part"_s << 'd' << false;
        QTest::newRow("symlink") << u".stepgrab-k2.part"_s << 's' << false;
    }
    void removeStale()
    {
        QFETCH(QString, name);
        QFETCH(char, kind);
        QFETCH(bool, removed);
        QTemporaryDir dir, elsewhere;
        const QString path = dir.filePath(name);
        // The symlink leads to a stale-looking file, which must survive as well.
        const QString target = elsewhere.filePath(u".stepgrab-k3.part"_s);
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        if (kind == 'd')
            QVERIFY(QDir().mkdir(path));
        else if (kind == 's')
            QVERIFY(QFile::link(target, path));
        else
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const int holder = kind == 'l' ? ::open(QFile::encodeName(path).constData(), O_RDONLY) : -1;
        QVERIFY(kind != 'l' || ::flock(holder, LOCK_EX) == 0);
        QCOMPARE(PartFile::removeStale(dir.path()), removed ? 1 : 0);
        if (holder >= 0)
            ::close(holder);
        QCOMPARE(QFileInfo(path).exists() || QFileInfo(path).isSymLink(), !removed);
        QVERIFY(QFile::exists(target));
    }

    void reason_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only file system") << EROFS << u"ReasonPermissionDenied"_s;
        QTest::newRow("not permitted") << EPERM << u"ReasonPermissionDenied"_s;
        QTest::newRow("no space") << ENOSPC << u"ReasonDiskFull"_s;
        QTest::newRow("quota") << EDQUOT << u"ReasonDiskFull"_s;
        QTest::newRow("folder is a file") << ENOTDIR << u"ReasonFolderMissing"_s;
        QTest::newRow("other") << EIO << qt_error_string(EIO);
    }
    // The errors above cannot be brought about here without mounting a file system.
    void reason()
    {
        QFETCH(int, code);
        QFETCH(QString, reason);
        QCOMPARE(PartFile::reason(code), reason);
    }
};

QTEST_GUILESS_MAIN(TestPartFile)
#include "tst_partfile.moc"
