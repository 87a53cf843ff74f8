#include "download/fetcher.h"
#include "fixtureserver.h"
#include "support/files.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;
using Outcome = Fetcher::Outcome;
using Setup = std::function<void(FixtureServer&, const QString& path)>;
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(FixtureServer::RangeLie)

namespace {

download::Policy fastRetries()
{
    download::Policy policy;
    policy.retryDelaysMs = {20, 20, 20};
    return policy;
}

Fetcher::Result fetch(Fetcher& fetcher, const QUrl& url, const QString& path, int timeoutMs)
{
    QSignalSpy spy(&fetcher, &Fetcher::finished);
    fetcher.start(url, path, false);
    if (!spy.wait(timeoutMs) && spy.isEmpty()) {
        Fetcher::Result unanswered;
        unanswered.outcome = Outcome::Aborted;
        unanswered.reason = u"no answer within %1 ms"_s.arg(timeoutMs);
        return unanswered;
    }
    return spy.at(0).at(0).value<Fetcher::Result>();
}

} // namespace

class TestFraming : public QObject
{
    Q_OBJECT

private slots:
    // A body that ends before its framing says, or whose length cannot be read, is never a
    // file: whatever the server did, the try fails, is retried, and nothing is left.
    void cut_data()
    {
        using FS = FixtureServer;
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("reused"); // a good file first, on the same connection
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QByteArray>("body"); // of the file written, when no reason
        const QString reset = u"ReasonConnectionReset"_s;
        const QString badLength = u"ReasonBadLength"_s;
        const struct
        {
            const char* name;
            FS::ChunkCut cut;
        } chunkCuts[] = {{"mid-chunk", FS::ChunkCut::MidChunk},
                         {"at a chunk boundary", FS::ChunkCut::AtBoundary},
                         {"after a chunk's data", FS::ChunkCut::AfterData}};
        for (bool reused : {false, true})
            for (const auto& [name, cut] : chunkCuts)
                for (FS::Hangup hangup : {FS::Hangup::Close, FS::Hangup::Reset})
                    QTest::addRow("chunked, %s, %s%s", name,
                                  hangup == FS::Hangup::Close ? "close" : "reset",
                                  reused ? ", reused connection" : "")
                        << Setup([cut, hangup](FS& s, const QString& p) {
                               s.addChunkedCut(p, cut, hangup);
                           })
                        << reused << reset << QByteArray();
        QTest::newRow("no length, reset") << Setup([](FS& s, const QString& p) {
            s.addHangup(p, 300000, FS::Framing::CloseDelimited, FS::Hangup::Reset);
        }) << false << reset << QByteArray();
        QTest::newRow("no length, clean close is the end") << Setup([](FS& s, const QString& p) {
            s.addHangup(p, 300000, FS::Framing::CloseDelimited, FS::Hangup::Close);
        }) << false << QString() << FS::largeChunk(0, 300000);
        const struct
        {
            const char* name;
            FS::BadLength kind;
            QString reason;
        } badLengths[] = {
            {"Content-Length: N, N", FS::BadLength::Doubled, badLength},
            {"Content-Length: 12abc", FS::BadLength::TrailingLetters, badLength},
            {"Content-Length of 23 digits", FS::BadLength::TwentyThreeDigits, badLength},
            {"two different Content-Length", FS::BadLength::TwoDifferent, badLength},
            {"206 nobody asked for", FS::BadLength::UnaskedRange, u"ReasonUnaskedRange"_s},
            {"100 bytes more than announced", FS::BadLength::LongerThanAnnounced, badLength}};
        for (const auto& [name, kind, why] : badLengths)
            QTest::newRow(name) << Setup([kind](FS& s, const QString& p) {
                s.addBadLength(p, kind, 100000);
            }) << false << why << QByteArray();
    }

    void cut()
    {
        QFETCH(Setup, setup);
        QFETCH(bool, reused);
        QFETCH(QString, reason);
        FixtureServer server;
        setup(server, u"/d/f"_s);
        server.addFile(u"/d/good"_s, FixtureServer::largeChunk(0, 50000));
        QTemporaryDir goodDir;
        QTemporaryDir dir;
        Fetcher fetcher(fastRetries());
        if (reused)
            QCOMPARE(
                fetch(fetcher, QUrl(server.baseUrl() + "/d/good"), goodDir.filePath("good"), 5000)
                    .outcome,
                Outcome::Written);
        QStringList retried;
        connect(&fetcher, &Fetcher::retrying, this,
                [&](const QString& why, int, int) { retried << why; });

        const auto result =
            fetch(fetcher, QUrl(server.baseUrl() + "/d/f"), dir.filePath("f"), 10000);
        const bool written = reason.isEmpty();
        QCOMPARE(result.outcome, written ? Outcome::Written : Outcome::NetworkError);
        QCOMPARE(result.reason, written ? QString() : u"ReasonAfterRetries %1 3"_s.arg(reason));
        QCOMPARE(retried, written ? QStringList() : QStringList(3, reason));
        QCOMPARE(entries(dir.path()), written ? QStringList{"f"} : QStringList());
        QTEST(written ? fileBytes(dir.filePath("f")) : QByteArray(), "body");
        QCOMPARE(result.retries, written ? 0 : 3);
        // Else the row would not hold what its name says.
        if (reused)
            QVERIFY2(server.reusedHits(u"/d/f"_s) >= 1, "the cut route came on a new connection");
    }

    // A server whose headers never end is given up on quickly, not read to the end.
    void endlessHeaders()
    {
        FixtureServer server;
        server.addEndlessHeaders(u"/d/f"_s);
        QTemporaryDir dir;
        Fetcher fetcher(fastRetries());
        QElapsedTimer clock;
        clock.start();
        const auto result =
            fetch(fetcher, QUrl(server.baseUrl() + "/d/f"), dir.filePath("f"), 20000);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(u"%1 ms"_s.arg(clock.elapsed())));
        QCOMPARE(result.outcome, Outcome::NetworkError);
        QVERIFY2(result.reason.contains(u"ReasonHeadersTooLarge"_s), qPrintable(result.reason));
        QCOMPARE(entries(dir.path()), QStringList());
    }

    // A cut transfer goes on where it stopped when the server can say it is the same file,
    // and starts over when the server's answer to the range cannot be trusted.
    void resume_data()
    {
        using Lie = FixtureServer::RangeLie;
        constexpr qint64 size = 4 * 1024 * 1024;
        QTest::addColumn<QList<qint64>>("cuts");
        QTest::addColumn<Lie>("lie");
        QTest::addColumn<QByteArray>("body");
        const QByteArray file = FixtureServer::largeChunk(0, size);
        const QList<qint64> twice{1024 * 1024 + 123, 3 * 1024 * 1024 + 7};
        QTest::newRow("cut twice") << twice << Lie::None << file;
        QTest::newRow("range answered with 200") << twice.first(1) << Lie::WholeAs200 << file;
        QTest::newRow("wrong Content-Range start") << twice.first(1) << Lie::WrongStart << file;
        QTest::newRow("ETag changed")
            << twice.first(1) << Lie::ChangedETag << FixtureServer::changedChunk(0, size);
    }

    void resume()
    {
        QFETCH(QList<qint64>, cuts);
        QFETCH(FixtureServer::RangeLie, lie);
        QFETCH(QByteArray, body);
        FixtureServer server;
        server.addResumable(u"/d/f"_s, body.size(), cuts, lie);
        QTemporaryDir dir;
        Fetcher fetcher(fastRetries());
        QList<qint64> resumedAt;
        connect(&fetcher, &Fetcher::resumed, this, [&resumedAt](qint64 at) { resumedAt << at; });

        const auto result =
            fetch(fetcher, QUrl(server.baseUrl() + "/d/f"), dir.filePath("f"), 20000);
        QCOMPARE(result.outcome, Outcome::Written);
        QCOMPARE(entries(dir.path()), QStringList{"f"});
        QVERIFY(fileBytes(dir.filePath("f")) == body); // 4 MiB: no dump of both on failure
        // The engine asked for the rest after the first cut, so a lie was met.
        QList<QByteArray> asked{QByteArray()};
        for (qint64 at : cuts)
            asked << "bytes=" + QByteArray::number(at) + '-';
        const QList<QByteArray> ranges = server.rangeHeaders(u"/d/f"_s);
        QCOMPARE(lie == FixtureServer::RangeLie::None ? ranges
                                                      : ranges.first(qMin(2, ranges.size())),
                 lie == FixtureServer::RangeLie::None ? asked : asked.first(2));
        if (lie != FixtureServer::RangeLie::None)
            return;
        QCOMPARE(resumedAt, cuts);
        QVERIFY2(result.received <= body.size() * 105 / 100,
                 qPrintable(u"received %1 of %2"_s.arg(result.received).arg(body.size())));
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
