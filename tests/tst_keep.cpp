#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/downloadworker.h"
#include "download/partfile.h"
#include "download/rungate.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/freeport.h"
#include "support/processgroup.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;
using Outcome = Fetcher::Outcome;

namespace {

constexpr char kNginx[] = "/usr/sbin/nginx";
const QStringList kNames{u"pic002.jpg"_s, u"pic003.jpg"_s, u"pic004.jpg"_s, u"pic005.jpg"_s};

// A real nginx on 127.0.0.1 serving `root` with its own defaults (entity tags on, and
// If-Modified-Since only when it equals the file's date exactly); only where it keeps its
// own files is changed, so that it runs as the test's user.
class Nginx
{
public:
    explicit Nginx(const QString& root) : mPort(freeLocalPort())
    {
        const QString p = mPrefix.path();
        QString conf = uR"(events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path %1/body; proxy_temp_path %1/proxy; fastcgi_temp_path %1/fastcgi;
    uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;
    types { image/jpeg jpg; }
    server { listen 127.0.0.1:%2; root %3; }
}
)"_s.arg(p)
                           .arg(mPort)
                           .arg(root);
        writeFile(p + u"/nginx.conf"_s, conf.toUtf8());
        mGroup.start(QString::fromLatin1(kNginx),
                     {u"-p"_s, p + u'/', u"-c"_s, p + u"/nginx.conf"_s, u"-e"_s,
                      p + u"/error.log"_s, u"-g"_s,
                      u"daemon off; master_process off; pid %1/nginx.pid;"_s.arg(p)});
    }
    bool isReady() const
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, mPort);
        return probe.waitForConnected(200);
    }
    QString errors() const { return QString::fromUtf8(fileBytes(mPrefix.filePath("error.log"))); }
    QString baseUrl() const { return u"http://127.0.0.1:%1"_s.arg(mPort); }

private:
    QTemporaryDir mPrefix;
    quint16 mPort;
    Group mGroup;
};

struct Stat
{
    ino_t inode = 0;
    qint64 mtimeNs = 0;
    bool operator==(const Stat&) const = default;
};

Stat statOf(const QString& path)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(path).constData(), &st);
    return {st.st_ino, qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QByteArray attribute(const QString& path, const char* name)
{
    char value[512];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, value, sizeof value);
    return n > 0 ? QByteArray(value, n) : QByteArray();
}

struct Run
{
    QStringList written;
    QStringList kept;
    qint64 ms = 0;
    bool failed = true;
};

// A run of pic002.jpg … as the worker takes it after the first file: a series counted up from
// pic001.jpg until the server has no more, or a list of the four addresses.
Run runOver(const QString& base, const std::shared_ptr<const folder::RunFolder>& folder, bool list,
            bool keep, int pauseMs)
{
    std::atomic<bool> mode{false};
    RunGate gate(mode);
    FileElementStore element;
    element.set({base, u"pic"_s, u"001"_s, u"jpg"_s});
    QStringList addresses;
    for (const QString& name : kNames)
        addresses << base + u'/' + name;
    download::Policy policy;
    policy.keepExisting = keep;
    policy.pauseMs = pauseMs;
    const quint64 run = gate.begin();
    auto worker = list ? std::make_unique<DownloadWorker>(&gate, run, addresses, folder, policy)
                       : std::make_unique<DownloadWorker>(&gate, run, &element, folder, policy);
    Run out;
    QObject::connect(worker.get(), &DownloadWorker::fileWritten,
                     [&](quint64, const QString& name) { out.written << name; });
    QObject::connect(worker.get(), &DownloadWorker::fileKept,
                     [&](quint64, const QString& name) { out.kept << name; });
    QObject::connect(worker.get(), &DownloadWorker::finished,
                     [&](quint64, bool failed) { out.failed = failed; });
    QElapsedTimer clock;
    clock.start();
    worker->run();
    out.ms = clock.elapsed();
    return out;
}

} // namespace

class TestKeep : public QObject
{
    Q_OBJECT

private slots:
    // A folder that already holds the series, from a run with the preference off; then what
    // changed before a second run.
    void secondRun_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("list");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("kept"); // the others are fetched again
        QTest::newRow("series kept") << true << false << QString() << kNames;
        QTest::newRow("list kept") << true << true << QString() << kNames;
        QTest::newRow("changed on the server")
            << true << false << u"newer pic003.jpg"_s
            << QStringList{u"pic002.jpg"_s, u"pic004.jpg"_s, u"pic005.jpg"_s};
        QTest::newRow("attributes missing: the date alone")
            << true << false << u"no attributes"_s << kNames;
        QTest::newRow("kept tag no longer the server's")
            << true << false << u"stale tag"_s << QStringList();
        QTest::newRow("kept from another address")
            << true << true << u"other origin"_s << QStringList();
        QTest::newRow("preference off") << false << false << QString() << QStringList();
    }

    void secondRun()
    {
        QFETCH(bool, keep);
        QFETCH(bool, list);
        QFETCH(QString, change);
        QFETCH(QStringList, kept);
        if (!QFile::exists(QString::fromLatin1(kNginx)))
            QSKIP("needs nginx (/usr/sbin/nginx, Debian's nginx package)");
        QTemporaryDir served, out;
        const QDateTime date(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
        auto serve = [&](const QString& name, qint64 size, const QDateTime& modified) {
            QFile file(served.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(FixtureServer::seriesBody(name, size));
            QVERIFY(file.flush());
            QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
        };
        for (int i = 1; i <= 5; ++i)
            serve(u"pic%1.jpg"_s.arg(i, 3, 10, QChar(u'0')), 2000, date.addSecs(i));
        Nginx nginx(served.path());
        QTRY_VERIFY2_WITH_TIMEOUT(nginx.isReady(), qPrintable(nginx.errors()), 10000);
        const auto folder = folder::RunFolder::open(out.path(), nullptr);
        QVERIFY(folder);

        const Run first = runOver(nginx.baseUrl(), folder, true, false, 0);
        QCOMPARE(first.written, kNames);
        // What a second run asks with besides the date: the server's entity tag, its date and
        // size in hexadecimal.
        const QString name = kNames.first();
        const QFileInfo source(served.filePath(name));
        if (!attribute(out.filePath(name), PartFile::kOriginAttribute).isEmpty())
            QCOMPARE(attribute(out.filePath(name), PartFile::kETagAttribute),
                     '"' + QByteArray::number(source.lastModified().toSecsSinceEpoch(), 16) + '-' +
                         QByteArray::number(source.size(), 16) + '"');
        else if (!change.isEmpty() && change != u"newer pic003.jpg")
            QSKIP("the test folder's file system keeps no user attributes");

        for (const QString& n : kNames) {
            const QByteArray path = QFile::encodeName(out.filePath(n));
            if (change == u"no attributes") {
                ::removexattr(path.constData(), PartFile::kOriginAttribute);
                ::removexattr(path.constData(), PartFile::kETagAttribute);
            } else if (change == u"stale tag") {
                ::setxattr(path.constData(), PartFile::kETagAttribute, "\"stale\"", 7, 0);
            } else if (change == u"other origin") {
                const QByteArray other = "http://elsewhere.invalid/" + n.toUtf8();
                ::setxattr(path.constData(), PartFile::kOriginAttribute, other.constData(),
                           size_t(other.size()), 0);
            }
        }
        if (change == u"newer pic003.jpg")
            serve(u"pic003.jpg"_s, 3000, date.addDays(1));
        QMap<QString, Stat> before;
        for (const QString& n : kNames)
            before[n] = statOf(out.filePath(n));

        const int pauseMs = 250;
        const Run second = runOver(nginx.baseUrl(), folder, list, keep, pauseMs);
        QVERIFY(!second.failed);
        QCOMPARE(second.kept, kept);
        QStringList written = kNames;
        for (const QString& n : kept)
            written.removeOne(n);
        QCOMPARE(second.written, written);
        for (const QString& n : kNames) {
            QCOMPARE(statOf(out.filePath(n)) == before[n], kept.contains(n));
            QCOMPARE(fileBytes(out.filePath(n)), fileBytes(served.filePath(n)));
        }
        // A kept file takes no pause; a written one, and a series' last step, do.
        const qint64 pauses = written.size() + (list ? 0 : 1);
        QCOMPARE_GE(second.ms, pauses * pauseMs);
        QCOMPARE_LT(second.ms, (pauses + 1) * pauseMs);
    }

    // Not Modified is an answer to a question; to a request that asked none, here for want of
    // a file to ask about, it is no file.
    void notModified()
    {
        FixtureServer server;
        server.addSequence("/d/f.jpg", {{304, {}, {}}});
        QTemporaryDir dir;
        download::Policy policy;
        policy.keepExisting = true;
        Fetcher fetcher(policy);
        QSignalSpy done(&fetcher, &Fetcher::finished);
        fetcher.start(QUrl(server.baseUrl() + "/d/f.jpg"), dir.filePath("f.jpg"), true);
        QVERIFY(done.wait(5000));
        const auto result = done.at(0).at(0).value<Fetcher::Result>();
        QCOMPARE(result.outcome, Outcome::NetworkError);
        QCOMPARE(result.reason, u"ReasonUnaskedNotModified"_s);
        QCOMPARE(entries(dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestKeep)
#include "tst_keep.moc"
