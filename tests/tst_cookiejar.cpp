#include "download/cookiejar.h"
#include "download/downloadfolder.h"
#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "download/rungate.h"
#include "fixtureserver.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The Cookie header of each request to `path`, in order.
QStringList cookiesSent(const FixtureServer& server, const QString& path)
{
    QStringList out;
    for (const QByteArray& value : server.headerValues(path, "Cookie"))
        out << QString::fromLatin1(value);
    return out;
}

bool fetchInto(Fetcher& fetcher, const QUrl& url, const QString& path)
{
    QSignalSpy done(&fetcher, &Fetcher::finished);
    fetcher.start(url, path, false);
    return done.wait(10000) &&
           done.at(0).at(0).value<Fetcher::Result>().outcome == Fetcher::Outcome::Written;
}

} // namespace

class TestCookieJar : public QObject
{
    Q_OBJECT

private slots:
    // The jar's lines ("@" is the fixture's host; none at all: no jar) and the Cookie header
    // of the fetch of /f/a.bin that follows.
    void sent_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("cookie");
        const auto row = [](const char* name, const QByteArray& lines, const QString& cookie) {
            QTest::newRow(name) << lines << cookie;
        };
        row("the host's cookie", "@\tFALSE\t/\tFALSE\t0\tsid\tabc\n", u"sid=abc"_s);
        row("a browser's export: CRLF, comments, HttpOnly",
            "# Netscape HTTP Cookie File\r\n\r\n#HttpOnly_@\tFALSE\t/f\tFALSE\t0\tsid\tabc\r\n"
            "@\tFALSE\t/\tFALSE\t4102444800\tlang\tja\r\n",
            u"sid=abc; lang=ja"_s);
        row("another host's", "example.org\tFALSE\t/\tFALSE\t0\tsid\tabc\n", QString());
        // libcurl takes a header line as a cookie too, and words such as RELOAD as commands.
        row("lines that are no cookie", "Set-Cookie: sid=abc\nRELOAD\nsid\tabc\n", QString());
        row("no jar", QByteArray(), QString());
    }
    void sent()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, cookie);
        FixtureServer server;
        server.addFile(u"/f/a.bin"_s, "data");
        download::Policy policy;
        if (!lines.isNull())
            policy.cookies = std::make_shared<download::CookieJar>(lines.replace('@', "127.0.0.1"));
        QTemporaryDir dir;
        Fetcher fetcher(policy);
        QVERIFY(fetchInto(fetcher, QUrl(server.baseUrl() + u"/f/a.bin"_s), dir.filePath(u"a"_s)));
        QCOMPARE(cookiesSent(server, u"/f/a.bin"_s), QStringList{cookie});
    }

    // A run's first file comes on the main thread, the rest from the worker's thread: a cookie
    // the server sets on the first goes with the others, beside the jar's own. The next run on
    // the same fetcher has no jar, and sends nothing of the last one's.
    void sharedByTheRun()
    {
        FixtureServer server;
        FixtureServer::Answer first;
        first.body = "first";
        first.headers = {{"Set-Cookie", "visit=1; Path=/"}};
        server.addSequence(u"/r/first.bin"_s, {first});
        server.addSeries(u"/r"_s, u"p"_s, 1, 3, 1, u"jpg"_s, FixtureServer::End::NotFound404Binary,
                         500);
        QTemporaryDir dir;
        download::Policy policy;
        policy.pauseMs = 0;
        policy.cookies =
            std::make_shared<download::CookieJar>("127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc\n");
        Fetcher firstFetch(policy);
        QVERIFY(fetchInto(firstFetch, QUrl(server.baseUrl() + u"/r/first.bin"_s),
                          dir.filePath(u"first.bin"_s)));

        std::atomic<bool> mode{false};
        RunGate gate(mode);
        QStringList addresses;
        for (int n = 1; n <= 3; ++n)
            addresses << server.baseUrl() + u"/r/p%1.jpg"_s.arg(n);
        auto* worker = new DownloadWorker(&gate, gate.begin(), addresses,
                                          folder::RunFolder::open(dir.path(), nullptr), policy);
        std::optional<bool> failed;
        QEventLoop loop;
        connect(worker, &DownloadWorker::finished, &loop, [&](quint64, bool f) {
            failed = f;
            loop.quit();
        });
        {
            WorkerThread thread(worker);
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QCOMPARE(failed, std::optional<bool>(false));
        const QStringList both{u"visit=1; sid=abc"_s};
        QCOMPARE(cookiesSent(server, u"/r/p1.jpg"_s) + cookiesSent(server, u"/r/p3.jpg"_s),
                 both + both);

        firstFetch.setPolicy({});
        policy.cookies.reset();
        QVERIFY(fetchInto(firstFetch, QUrl(server.baseUrl() + u"/r/p2.jpg"_s),
                          dir.filePath(u"again.jpg"_s)));
        QCOMPARE(cookiesSent(server, u"/r/p2.jpg"_s), (QStringList{both.first(), QString()}));
    }
};

QTEST_GUILESS_MAIN(TestCookieJar)
#include "tst_cookiejar.moc"
