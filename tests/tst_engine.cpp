#include "address/fileelement.h"
#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "download/rungate.h"
#include "fixtureserver.h"

#include <QDeadlineTimer>
#include <QDirIterator>
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
    static QByteArray png() { return FixtureServer::seriesBody("t.png", 100 * 1024); }
    // The worker's files from pic013.jpg to the number `last`, or their addresses under `dir`.
    static QStringList pics(int last, const QString& dir = {})
    {
        QStringList names;
        for (int n = 13; n <= last; ++n)
            names << dir + u"pic%1.jpg"_s.arg(n, 3, 10, QLatin1Char('0'));
        return names;
    }

private slots:
    void init()
    {
        // Qt's own complaints about how a reply was handled count as failures.
        QTest::failOnWarning(QRegularExpression(".*"));
        Fetcher::setInactivityTimeout(1000);
        Fetcher::setRetryDelaysForTesting({20, 40, 80});
        Fetcher::setSpeedBoundsForTesting(0, 0);
    }

    void fetch_data()
    {
        QTest::addColumn<Answers>("answers");             // of /d/f in turn, the last one repeated
        QTest::addColumn<QList<qint64>>("sentAnnounced"); // else: stall after [0]; cut [0] of [1]
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("retries"); // "reason/retry/delay", as signalled
        using enum Fetcher::Outcome;
        // An abort comes in the first retry's wait when one is signalled, else mid-body.
        const auto row = [](const char* name, const Answers& answers, Outcome outcome,
                            const QString& reason = {}, const QStringList& retries = {},
                            const QList<qint64>& sentAnnounced = {}) {
            QTest::newRow(name) << answers << sentAnnounced << outcome << reason << retries;
        };
        const auto ok = [](const QByteArray& body) { return Answers{{200, body, {}}}; };
        const QByteArray page = QByteArray("<html><body>no such file.").leftJustified(40960, ' ');
        row("binary, short of 512 bytes", ok(png().left(511)), Written);
        row("html page", ok(page), HtmlPage, u"ReasonHtmlPage"_s);
        row("tag past the first 512 bytes", ok(QByteArray(600, ' ') + "<html>"), Written);
        // A body labelled gzip-encoded is stored as sent: an archive stays packed.
        row("gzip kept packed", {{200, png(), {{"Content-Encoding", "gzip"}}}}, Written);
        row("redirect to file", {{302, {}, {{"Location", "file:/bin/sh"}}}}, NetworkError,
            u"ReasonRedirectRefused file:///bin/sh"_s);
        row("stall, file open", {}, NetworkError, u"ReasonNoDataFor 1"_s, {}, {300000});
        row("cut, file open", {}, NetworkError, u"ReasonAfterRetries ReasonConnectionReset 3"_s,
            {"ReasonConnectionReset/1/20", "ReasonConnectionReset/2/40",
             "ReasonConnectionReset/3/80"},
            {300000, 400000});
        row("abort, file open", {}, Aborted, u"ReasonStopped"_s, {}, {300000});
        row("Retry-After: 120, capped, abort in the wait",
            {{503, "busy", {{"Retry-After", "120"}}}}, Aborted, u"ReasonStopped"_s,
            {u"ReasonServerError 503/1/60000"_s});
    }

    void fetch()
    {
        QFETCH(Answers, answers);
        QFETCH(QList<qint64>, sentAnnounced);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, retries);
        FixtureServer server;
        sentAnnounced.isEmpty()     ? server.addSequence("/d/f", answers)
        : sentAnnounced.size() == 1 ? server.addStall("/d/f", sentAnnounced[0])
                                    : server.addCut("/d/f", sentAnnounced[0], sentAnnounced[1]);
        QTemporaryDir dir;
        QNetworkAccessManager manager;
        Fetcher fetcher(&manager);
        QSignalSpy spy(&fetcher, &Fetcher::finished);
        const bool abortInWait = outcome == Outcome::Aborted && !retries.isEmpty();
        QStringList retried;
        connect(&fetcher, &Fetcher::retrying, this, [&](const QString& why, int retry, int delay) {
            retried << u"%1/%2/%3"_s.arg(why).arg(retry).arg(delay);
            if (abortInWait)
                fetcher.abort();
        });
        const QDeadlineTimer minute(1000); // not the minute the server asked for
        fetcher.start(QUrl(server.baseUrl() + "/d/f"), dir.filePath("f"), true);
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
        QCOMPARE(leftovers(dir.path()), (written ? QStringList{"f"} : QStringList{}));
        QFile file(dir.filePath("f"));
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : "<none>",
                 written ? answers.last().body : "<none>");
        QVERIFY(!abortInWait || !minute.hasExpired());
    }

    void run_data()
    {
        QTest::addColumn<int>("late"); // ms before pic015.jpg is answered; 0: at once
        QTest::addColumn<int>("pause");
        QTest::addColumn<QString>("action"); // on pic015.jpg when late, else in the last pause
        QTest::addColumn<int>("last");       // the last file written
        QTest::newRow("stop, answer delayed") << 5000 << 50 << "stop" << 14;
        QTest::newRow("stop in the pause") << 0 << 3000 << "stop" << 13;
        QTest::newRow("new run in the pause: its number alone") << 0 << 600 << "new run" << 13;
        QTest::newRow("flag cleared, Stop not there yet: lands") << 600 << 50 << "flag" << 15;
    }

    void run()
    {
        QFETCH(int, late);
        QFETCH(QString, action);
        QFETCH(int, last);
        QFETCH(int, pause);
        DownloadWorker::setPause(pause);
        FixtureServer server;
        server.addSeries("dir", "pic", 13, 20, 3, "jpg", FixtureServer::End::HtmlPage, 20000);
        if (late)
            server.addDelayed("/dir/pic015.jpg", "late", late);
        const int tried = late ? 15 : last; // pic015.jpg is in flight when a late one acts
        QStringList events = pics(last).replaceInStrings(QRegularExpression("^"), "written ");
        const QStringList before = last == 15 ? events.first(events.size() - 1) : events;
        events << "finished";
        // Counting up from pic012.jpg; signals come in here in order, as the controller takes them.
        std::atomic<bool> mode{false};
        RunGate gate(mode);
        FileElementStore element;
        element.set({server.baseUrl() + "/dir", "pic", "012", "jpg"});
        const quint64 id = gate.begin();
        QTemporaryDir dir;
        QStringList got;
        QObject receiver; // drops what is still queued for a run that is over
        auto* w = new DownloadWorker(&gate, id, &element, dir.path());
        const auto note = [&](quint64 r, const QString& e) { got << (r == id ? e : "other run"); };
        connect(w, &DownloadWorker::logLine, &receiver, note);
        connect(w, &DownloadWorker::fileWritten, &receiver,
                [&](quint64 r, const QString& name) { note(r, "written " + name); });
        connect(w, &DownloadWorker::finished, &receiver,
                [&](quint64 r, bool failed) { note(r, failed ? "failed" : "finished"); });
        auto thread = std::make_unique<WorkerThread>(w);
        QTRY_COMPARE(server.requestLog(), pics(tried, "/dir/"));
        QTRY_COMPARE(got, before);
        const QDeadlineTimer prompt(1000);
        action == u"new run" ? void(gate.begin()) : gate.end();
        if (action == u"stop")
            thread->abort();
        QTRY_COMPARE_WITH_TIMEOUT(got, events, 3000);
        QVERIFY(!prompt.hasExpired());
        QCOMPARE(server.requestLog(), pics(tried, "/dir/"));
        QCOMPARE(element.get().number, u"%1"_s.arg(tried, 3, 10, QLatin1Char('0')));
        QCOMPARE(bool(mode), action == u"new run");
        QCOMPARE(leftovers(dir.path()), pics(last));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
