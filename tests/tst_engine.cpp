#include "download/fetcher.h"
#include "fixtureserver.h"
#include "support/files.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Outcome = Fetcher::Outcome;
using Answers = QList<FixtureServer::Answer>;
Q_DECLARE_METATYPE(Answers)

class TestEngine : public QObject
{
    Q_OBJECT

    // Entries, hidden ones too, then "open <name>" per descriptor in it (unlinked: "#1 (deleted)").
    static QStringList leftovers(const QString& dir)
    {
        QStringList out =
            QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (QDirIterator it("/proc/self/fd", QDir::AllEntries | QDir::System); it.hasNext();)
            if (const QString t = it.nextFileInfo().symLinkTarget(); t.startsWith(dir + '/'))
                out << "open " + t.mid(dir.size() + 1);
        return out;
    }

private slots:
    void init()
    {
        // Qt's own complaints about how a reply was handled count as failures.
        QTest::failOnWarning(QRegularExpression(".*"));
    }

    // An abort comes in the first retry's wait when one is signalled, else mid-body.
    void fetch_data()
    {
        QTest::addColumn<Answers>("answers");             // of /d/f in turn, the last one repeated
        QTest::addColumn<QList<qint64>>("sentAnnounced"); // else: stall after [0]; cut [0] of [1]
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("retries"); // "reason/retry/delay", as signalled
        QTest::addColumn<QString>("name");        // the file's name, for its encoding rule
        using enum Fetcher::Outcome;
        const QString reset = u"ReasonConnectionReset/%1/%2"_s;
        // gzip -c of "pic\n" as a server sends it, encoded though nobody asked.
        const QByteArray gz =
            QByteArray::fromHex("1f8b08000000000000032bc84ce60200555e78a304000000");
        const Answers encoded{{200, gz, {{"Content-Encoding", "gzip"}}}};
        QTest::newRow("gzip archive kept packed")
            << encoded << QList<qint64>{} << Written << QString() << QStringList() << u"f.tar.gz"_s;
        QTest::newRow("encoded text saved decoded")
            << encoded << QList<qint64>{} << Written << QString() << QStringList() << u"f.txt"_s;
        QTest::newRow("redirect to file")
            << Answers{{302, {}, {{"Location", "file:/bin/sh"}}}} << QList<qint64>{} << NetworkError
            << u"ReasonRedirectRefused file:///bin/sh"_s << QStringList() << u"f"_s;
        QTest::newRow("redirect loop")
            << Answers{{302, {}, {{"Location", "/d/f"}}}} << QList<qint64>{} << NetworkError
            << u"ReasonTooManyRedirects"_s << QStringList() << u"f"_s;
        QTest::newRow("redirect without a target")
            << Answers{{302, "moved", {}}} << QList<qint64>{} << NetworkError
            << u"ReasonRedirectNoTarget"_s << QStringList() << u"f"_s;
        QTest::newRow("cut, file open")
            << Answers{} << QList<qint64>{300000, 400000} << NetworkError
            << u"ReasonAfterRetries ReasonConnectionReset 3"_s
            << QStringList{reset.arg(1).arg(20), reset.arg(2).arg(40), reset.arg(3).arg(80)}
            << u"f"_s;
        QTest::newRow("abort, file open") << Answers{} << QList<qint64>{300000} << Aborted
                                          << u"ReasonStopped"_s << QStringList() << u"f"_s;
        QTest::newRow("Retry-After: 120, capped, abort in the wait")
            << Answers{{503, "busy", {{"Retry-After", "120"}}}} << QList<qint64>{} << Aborted
            << u"ReasonStopped"_s << QStringList{u"ReasonServerError 503/1/60000"_s} << u"f"_s;
    }

    void fetch()
    {
        QFETCH(Answers, answers);
        QFETCH(QList<qint64>, sentAnnounced);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, retries);
        QFETCH(QString, name);
        FixtureServer server;
        sentAnnounced.isEmpty()     ? server.addSequence("/d/f", answers)
        : sentAnnounced.size() == 1 ? server.addStall("/d/f", sentAnnounced[0])
                                    : server.addCut("/d/f", sentAnnounced[0], sentAnnounced[1]);
        QTemporaryDir dir;
        download::Policy policy;
        policy.retryDelaysMs = {20, 40, 80};
        Fetcher fetcher(policy);
        QSignalSpy spy(&fetcher, &Fetcher::finished);
        const bool abortInWait = outcome == Outcome::Aborted && !retries.isEmpty();
        QStringList retried;
        connect(&fetcher, &Fetcher::retrying, this, [&](const QString& why, int retry, int delay) {
            retried << u"%1/%2/%3"_s.arg(why).arg(retry).arg(delay);
            if (abortInWait)
                fetcher.abort();
        });
        const QDeadlineTimer minute(1000); // not the minute the server asked for
        fetcher.start(QUrl(server.baseUrl() + "/d/f"), dir.filePath(name), true);
        if (outcome == Outcome::Aborted && !abortInWait) {
            QTRY_VERIFY(!leftovers(dir.path()).filter("open ").isEmpty());
            fetcher.abort();
            fetcher.abort();
            QTest::qWait(200); // room for a late signal of the dropped reply
        }
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        const auto result = spy.at(0).at(0).value<Fetcher::Result>();
        QCOMPARE(result.outcome, outcome);
        QTEST(result.reason, "reason");
        QCOMPARE(retried, retries);
        const bool written = outcome == Outcome::Written;
        QCOMPARE(leftovers(dir.path()), (written ? QStringList{name} : QStringList{}));
        const QByteArray expected = name == u"f.txt" ? "pic\n" : answers.value(0).body;
        QCOMPARE(fileBytes(dir.filePath(name)), written ? expected : "<none>");
        QVERIFY(!abortInWait || !minute.hasExpired());
    }

    // A slow file reports its bytes as they come, never more than ten times a second.
    void progress()
    {
        FixtureServer server;
        server.addDrip("/d/slow.jpg", 1500, 1); // about a kilobyte a second
        QTemporaryDir dir;
        Fetcher fetcher;
        QList<std::pair<qint64, qint64>> reports;
        QElapsedTimer clock;
        connect(&fetcher, &Fetcher::progress, this, [&](qint64 bytes, qint64 total) {
            reports.append({bytes, total});
        });
        QSignalSpy done(&fetcher, &Fetcher::finished);
        clock.start();
        fetcher.start(QUrl(server.baseUrl() + "/d/slow.jpg"), dir.filePath("slow.jpg"), false);
        QVERIFY(done.wait(10000));
        QCOMPARE(done.at(0).at(0).value<Fetcher::Result>().outcome, Outcome::Written);
        QCOMPARE_GE(reports.size(), 5);
        QCOMPARE_LE(reports.size(), clock.elapsed() / 100 + 1);
        for (qsizetype i = 0; i < reports.size(); ++i) {
            QCOMPARE(reports[i].second, 1500);
            QVERIFY(reports[i].first >= (i ? reports[i - 1].first : 1));
        }
        QCOMPARE_GE(reports.last().first, 1200); // the bytes, not the reads, are counted
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
