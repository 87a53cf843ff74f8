#include "address/fileelement.h"
#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "download/rungate.h"
#include "fixtureserver.h"

#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace Qt::StringLiterals;
using Outcome = Fetcher::Outcome;
using End = FixtureServer::End;
// A fetch case's server, answering at the address given, by default /d/f; it gives the bytes a
// complete fetch writes.
using Setup = std::function<QByteArray(FixtureServer&, QString& address)>;
Q_DECLARE_METATYPE(Setup)

class TestEngine : public QObject
{
    Q_OBJECT

    // The folder's entries, hidden ones included, then "open <name>" for each descriptor of this
    // process on something in it: a file not linked into place yet reads as "#123 (deleted)".
    static QStringList leftovers(const QString& dir)
    {
        QStringList out =
            QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (QDirIterator it("/proc/self/fd", QDir::AllEntries | QDir::System); it.hasNext();)
            if (const QString t = it.nextFileInfo().symLinkTarget(); t.startsWith(dir + '/'))
                out << "open " + t.mid(dir.size() + 1);
        return out;
    }
    // With a location (%1: the server's base address), /d/f redirects there and the body is
    // served at /files/t.png.
    static Setup file(const QByteArray& body, int status = 200, const QString& location = {})
    {
        return [=](FixtureServer& server, QString&) {
            server.addFile(location.isEmpty() ? "/d/f" : "/files/t.png", body, status);
            if (!location.isEmpty())
                server.addRedirect("/d/f", QString(location).replace("%1", server.baseUrl()));
            return body;
        };
    }
    // Sends `sent` bytes, then stalls or, when a length is announced, hangs up short of it.
    static Setup broken(qint64 sent, qint64 announced = 0)
    {
        return [=](FixtureServer& server, QString&) {
            announced ? server.addCut("/d/f", sent, announced) : server.addStall("/d/f", sent);
            return QByteArray();
        };
    }
    // The answers in turn, the last one repeated; a last 200 is the file.
    static Setup answers(const QList<FixtureServer::Answer>& list)
    {
        return [=](FixtureServer& server, QString&) {
            server.addSequence("/d/f", list);
            return list.last().status == 200 ? list.last().body : QByteArray();
        };
    }
    static Setup hangup(FixtureServer::Framing framing, FixtureServer::Hangup how,
                        const QList<int>& delays)
    {
        return [=](FixtureServer& server, QString&) {
            Fetcher::setRetryDelaysForTesting(delays);
            server.addHangup("/d/f", 300000, framing, how);
            return QByteArray();
        };
    }
    static QString num(int n) { return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0')); }
    // The worker's files from pic013.jpg to the number `last`, or their addresses under `dir`.
    static QStringList pics(int last, const QString& dir = {})
    {
        QStringList names;
        for (int n = 13; n <= last; ++n)
            names << dir + "pic" + num(n) + ".jpg";
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
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<bool>("testForHtml");
        QTest::addColumn<QString>("target"); // in a folder that holds the plain file "old"
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason");      // "*": the file system's words, not ours
        QTest::addColumn<QStringList>("retries"); // "reason/retry/delay", as signalled
        QTest::addColumn<int>("requests");        // of /d/f; -1: not counted, as after a cut,
                                                  // which Qt may resend
        using enum Fetcher::Outcome;
        using F = FixtureServer;
        // An abort comes in the first retry's wait when one is signalled, else mid-body.
        const auto row = [](const char* name, const Setup& setup, Outcome outcome,
                            const QString& reason = {}, const QStringList& retries = {},
                            int requests = -1, const QString& target = u"f"_s,
                            bool testForHtml = true) {
            QTest::newRow(name) << setup << testForHtml << target << outcome << reason << retries
                                << requests;
        };
        const auto tries = [](const QString& reason, const QList<int>& delays) {
            QStringList out;
            for (int i = 0; i < delays.size(); ++i)
                out << u"%1/%2/%3"_s.arg(reason).arg(i + 1).arg(delays[i]);
            return out;
        };
        const QList<int> usual{20, 40, 80};
        const QByteArray png = F::seriesBody("pic001.png", 100 * 1024);
        const QByteArray page = QByteArray("<html><body>no such file.").leftJustified(40960, ' ');
        const auto moved = [&](const QString& location) { return file(png, 200, location); };
        const QString html = u"ReasonHtmlPage"_s, reset = u"ReasonConnectionReset"_s;
        const QString cut = "ReasonAfterRetries " + reset + " 3";
        row("binary", file(png), Written);
        row("bare tag, 5 bytes", file("<html"), HtmlPage, html);
        row("binary 511", file(png.left(511)), Written);
        row("binary 512", file(png.left(512)), Written);
        row("binary 513", file(png.left(513)), Written);
        row("html page", file(page), HtmlPage, html);
        row("doctype", file("<!DOCTYPE html>\n<html>"), HtmlPage, html);
        // The verdict rests on the first 512 bytes, however the body arrives.
        row("tag at 600", file(QByteArray(600, ' ') + "<html>"), Written);
        row("html page, untested", file(page), Written, {}, {}, 1, u"f"_s, false);
        row("404 binary", file(png.left(64), 404), HttpError, u"ReasonMissing 404"_s);
        row("404 html, untested", file(page, 404), HttpError, u"ReasonMissing 404"_s, {}, 1, u"f"_s,
            false);
        row("500 empty", file({}, 500), NetworkError,
            u"ReasonAfterRetries ReasonServerError 500 3"_s,
            tries(u"ReasonServerError 500"_s, usual), 4);
        row("32 MiB", file(F::largeChunk(0, 32 << 20)), Written);
        // An archive that a server labels as gzip-encoded is stored as sent, still packed.
        row("gzip kept packed", Setup([](F& server, QString&) {
                QFile gz(QFINDTESTDATA("data/notes.txt.gz"));
                gz.open(QIODevice::ReadOnly);
                const QByteArray packed = gz.readAll();
                server.addFile("/d/f", packed, 200, "application/gzip", "gzip");
                return packed;
            }),
            Written);
        row("replaces a file", file(png.left(3000)), Written, {}, {}, 1, u"old"_s);
        row("redirect, relative", moved("../files/t.png"), Written);
        row("redirect, absolute", moved("%1/files/t.png"), Written);
        row("redirect to nothing", moved("/none"), HttpError, u"ReasonMissing 404"_s);
        row("redirect to itself", moved("/d/f"), NetworkError, u"ReasonTooManyRedirects"_s);
        row("redirect to ftp", moved("ftp://h/t"), NetworkError,
            u"ReasonRedirectRefused ftp://h/t"_s);
        row("redirect to file", moved("file:/bin/sh"), NetworkError,
            u"ReasonRedirectRefused file:///bin/sh"_s);
        row("302, empty Location", answers({{302, "moved", {{"Location", ""}}}}), NetworkError,
            u"ReasonRedirectNoTarget"_s, {}, 1);
        row("302, unparsable Location", answers({{302, "moved", {{"Location", "http://[::1"}}}}),
            NetworkError, u"ReasonRedirectNoTarget"_s, {}, 1);
        row("stall, file open", broken(300000), NetworkError, u"ReasonNoDataFor 1"_s);
        row("cut before the verdict", broken(100, 1000), NetworkError, cut, tries(reset, usual));
        row("cut, file open", broken(300000, 400000), NetworkError, cut, tries(reset, usual));
        row("cut one byte short", broken(4095, 4096), NetworkError, cut, tries(reset, usual));
        row("reset mid-body without Content-Length",
            hangup(F::Framing::CloseDelimited, F::Hangup::Reset, usual), NetworkError, cut,
            tries(reset, usual), 4);
        // Without retries: Qt notices this cut only now and then (see fetch()).
        row("chunked, cut", hangup(F::Framing::Chunked, F::Hangup::Close, {}), NetworkError, reset,
            {}, 1);
        row("folder missing", file(png), WriteError, u"*"_s, {}, 1, u"none/f"_s);
        row("folder missing, empty", file({}), NetworkError, u"ReasonNoData"_s, {}, 1, u"none/f"_s);
        row("folder is a file", file(png), WriteError, u"*"_s, {}, 1, u"old/f"_s);
        row("abort, file open", broken(300000), Aborted, u"ReasonStopped"_s);
        const QString e503 = u"ReasonServerError 503"_s;
        const auto s503 = [](const QByteArray& retryAfter = {}) {
            return F::Answer{503, "busy", {{"Retry-After", retryAfter}}};
        };
        const F::Answer ok{200, png, {}};
        row("502, 504, 408, then 200", answers({{502, {}, {}}, {504, {}, {}}, {408, {}, {}}, ok}),
            Written, {},
            {u"ReasonServerError 502/1/20"_s, u"ReasonServerError 504/2/40"_s,
             u"ReasonRequestTimeout/3/80"_s},
            4);
        row("Retry-After, a date gone by", answers({s503("Wed, 21 Oct 2015 07:28:00 GMT"), ok}),
            Written, {}, tries(e503, {0}), 2);
        row("Retry-After, unreadable", answers({s503("soon"), ok}), Written, {}, tries(e503, {20}),
            2);
        // The waits are capped; the abort ends them at once.
        row("Retry-After: 120, abort in the wait", answers({s503("120")}), Aborted,
            u"ReasonStopped"_s, tries(e503, {60000}), 1);
        const QByteArray nextYear = QLocale::c()
                                        .toString(QDateTime::currentDateTimeUtc().addYears(1),
                                                  "ddd, dd MMM yyyy hh:mm:ss 'GMT'")
                                        .toLatin1();
        row("Retry-After, a date next year, abort in the wait", answers({s503(nextYear)}), Aborted,
            u"ReasonStopped"_s, tries(e503, {60000}), 1);
        row("cut, abort in the wait", broken(300000, 400000), Aborted, u"ReasonStopped"_s,
            tries(reset, {20}));
        row("407", answers({{407, "who?", {}}}), NetworkError, u"ReasonAuthentication"_s, {}, 1);
        row("410", answers({{410, "gone", {}}}), HttpError, u"ReasonMissing 410"_s, {}, 1);
        row("501", answers({{501, {}, {}}}), NetworkError, u"ReasonServerError 501"_s, {}, 1);
        row("refused four times", Setup([](F& server, QString& address) {
                address = u"http://127.0.0.1:%1/d/f"_s.arg(server.refusingPort());
                return QByteArray();
            }),
            NetworkError, u"ReasonAfterRetries ReasonConnectionRefused 3"_s,
            tries(u"ReasonConnectionRefused"_s, usual));
    }

    void fetch()
    {
        QFETCH(Setup, setup);
        QFETCH(bool, testForHtml);
        QFETCH(QString, target);
        QFETCH(Outcome, outcome);
        QFETCH(QString, reason);
        QFETCH(QStringList, retries);
        QFETCH(int, requests);
        FixtureServer server;
        QString address = server.baseUrl() + "/d/f";
        const QByteArray body = setup(server, address);
        QTemporaryDir dir;
        QFile old(dir.filePath("old"));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();

        QNetworkAccessManager manager;
        Fetcher fetcher(&manager);
        QSignalSpy spy(&fetcher, &Fetcher::finished);
        const bool abortInWait = outcome == Outcome::Aborted && !retries.isEmpty();
        QStringList retried;
        qint64 waits = 0;
        connect(&fetcher, &Fetcher::retrying, this, [&](const QString& why, int retry, int delay) {
            retried << u"%1/%2/%3"_s.arg(why).arg(retry).arg(delay);
            waits += delay;
            if (abortInWait)
                fetcher.abort();
        });
        QElapsedTimer clock;
        clock.start();
        fetcher.start(QUrl(address), dir.filePath(target), testForHtml);
        if (outcome == Outcome::Aborted && !abortInWait) {
            QTRY_VERIFY(leftovers(dir.path()).last().startsWith("open "));
            fetcher.abort();
            fetcher.abort();
            QTest::qWait(200); // room for a late signal of the dropped reply
        }
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 5000);
        const auto result = spy.at(0).at(0).value<Fetcher::Result>();
        QEXPECT_FAIL("reset mid-body without Content-Length",
                     "Qt 6.4 ends a body without a length at the close of the connection, "
                     "a reset included, and reports it complete",
                     Abort);
        if (QTest::currentDataTag() == QLatin1String("chunked, cut") &&
            result.outcome == Outcome::Written)
            QSKIP("Qt 6.4 reported the chunked body cut short as complete this time: a race in "
                  "its HTTP channel, not seen by the reply");
        QCOMPARE(result.outcome, outcome);
        if (reason == u"*")
            QVERIFY(!result.reason.isEmpty());
        else
            QCOMPARE(result.reason, reason);
        QCOMPARE(retried, retries);
        if (requests >= 0)
            QCOMPARE(server.hits("/d/f"), requests);
        const bool added = outcome == Outcome::Written && target == u"f";
        QCOMPARE(leftovers(dir.path()), (added ? QStringList{"f", "old"} : QStringList{"old"}));
        QFile written(dir.filePath(target));
        if (outcome == Outcome::Written)
            QCOMPARE(written.open(QIODevice::ReadOnly) ? written.readAll() : "<none>", body);
        // The waits are kept, and an abort does not wait.
        if (abortInWait)
            QCOMPARE_LT(clock.elapsed(), 1000);
        else
            QCOMPARE_GE(clock.elapsed(), waits);
    }

    void run_data()
    {
        QTest::addColumn<End>("end");
        QTest::addColumn<QString>("fault"); // of pic015.jpg, or of the output folder
        QTest::addColumn<int>("pause");     // -1: the pause no one has set yet
        // Taken when the worker waits on pic015.jpg, or else in its pause after the last file.
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("last");         // the last file written
        QTest::addColumn<QStringList>("tail"); // what the worker reports after it
        const End html = End::HtmlPage;
        const QStringList cantFound{"021", "CantFound pic021.jpg\n", "finished"};
        const QString retry = "RetryDownload pic015.jpg ReasonConnectionReset RetryWait 1 %1\n";
        const QStringList cut{"015",
                              retry.arg(1),
                              retry.arg(2),
                              retry.arg(3),
                              "FailureDownload pic015.jpg: ReasonAfterRetries "
                              "ReasonConnectionReset 3\n",
                              "failed"};
        const QStringList noFolder{"013", "FailureDownload pic013.jpg: ReasonFolderMissing\n",
                                   "failed"};
        const QStringList inFlight{"015", "finished"}, ended{"finished"};
        const QStringList committed{"015", "written pic015.jpg", "finished"};
        // First, so that the pause is still the one a run has by default.
        QTest::newRow("default pause") << html << "" << -1 << "stop" << 15 << ended;
        QTest::newRow("html page") << html << "" << 50 << "" << 20 << cantFound;
        QTest::newRow("404 binary") << End::NotFound404Binary << "" << 50 << "" << 20 << cantFound;
        QTest::newRow("capitals page") << End::UpperHtml << "" << 50 << "" << 20 << cantFound;
        QTest::newRow("cut mid-body") << html << "cut" << 50 << "" << 14 << cut;
        QTest::newRow("output folder missing") << html << "folder" << 50 << "" << 12 << noFolder;
        QTest::newRow("stop, answer delayed") << html << "delay" << 50 << "stop" << 14 << inFlight;
        QTest::newRow("stop, body stalled") << html << "stall" << 50 << "stop" << 14 << inFlight;
        QTest::newRow("stop in the pause") << html << "" << 3000 << "stop" << 13 << ended;
        // Nothing but the new run number tells the old worker.
        QTest::newRow("new run in the pause") << html << "" << 600 << "new run" << 13 << ended;
        QTest::newRow("deleted mid-fetch") << html << "delay" << 50 << "delete" << 14 << inFlight;
        // Stop has cleared the flag but not reached the worker yet: the file still lands.
        QTest::newRow("flag cleared mid-fetch")
            << html << "slow" << 50 << "flag" << 14 << committed;
    }

    void run()
    {
        QFETCH(End, end);
        QFETCH(QString, fault);
        QFETCH(int, pause);
        QFETCH(QString, action);
        QFETCH(int, last);
        QFETCH(QStringList, tail);
        if (pause >= 0)
            DownloadWorker::setPause(pause);
        FixtureServer server;
        server.addSeries("dir", "pic", 13, 20, 3, "jpg", end, 20000);
        if (fault == u"cut")
            server.addCut("/dir/pic015.jpg", 5000, 20000);
        if (fault == u"stall")
            server.addStall("/dir/pic015.jpg", 5000);
        if (fault == u"delay")
            server.addDelayed("/dir/pic015.jpg", "late", 5000);
        if (fault == u"slow")
            server.addDelayed("/dir/pic015.jpg", "late", 600);
        QStringList events;
        for (const QString& name : pics(last))
            events << name.mid(3, 3) << "written " + name;
        events += tail;
        // A file tried and not written leads the tail with its number.
        const int tried = tail.size() > 1 ? last + 1 : last;

        // The run counts up from pic012.jpg; its signals are taken in on this thread in the
        // order issued, as the controller takes them.
        std::atomic<bool> mode{false};
        RunGate gate(mode);
        FileElementStore element;
        element.set({server.baseUrl() + "/dir", "pic", "012", "jpg"});
        const quint64 id = gate.begin();
        QTemporaryDir dir;
        QStringList got;
        QObject receiver; // drops what is still queued for a run that is over
        auto* w = new DownloadWorker(&gate, id, &element,
                                     fault == u"folder" ? dir.filePath("none") : dir.path());
        const auto note = [&](quint64 run, const QString& e) {
            got << (run == id ? e : "other run");
        };
        connect(w, &DownloadWorker::numberChanged, &receiver, note);
        connect(w, &DownloadWorker::logLine, &receiver, note);
        connect(w, &DownloadWorker::fileWritten, &receiver,
                [&](quint64 r, const QString& name) { note(r, "written " + name); });
        connect(w, &DownloadWorker::finished, &receiver,
                [&](quint64 r, bool failed) { note(r, failed ? "failed" : "finished"); });
        QElapsedTimer clock;
        clock.start();
        auto thread = std::make_unique<WorkerThread>(w);

        if (!action.isEmpty()) {
            QTRY_COMPARE(server.requestLog(), pics(tried, "/dir/"));
            // Up to the number of the file in flight, if one is.
            QTRY_COMPARE(got, events.mid(0, events.size() - tail.size() + (tail.size() > 1)));
            // By default two pauses of a second lie between the start and the third file.
            if (pause < 0)
                QCOMPARE_LT(qAbs(clock.elapsed() - 2000), 500);
            clock.restart();
            if (action == u"new run") {
                gate.begin();
            } else if (action == u"delete") {
                thread.reset();
            } else if (action == u"flag") {
                gate.end();
            } else {
                gate.end();
                thread->abort();
            }
            QTRY_COMPARE_WITH_TIMEOUT(got, events, 3000);
            if (action != u"flag")
                QCOMPARE_LT(clock.elapsed(), 1000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(got, events, 10000);
        // A cut is retried three times before the step fails; Qt itself may send a GET once
        // more when the connection drops before the answer's first line.
        QStringList requests = server.requestLog();
        requests.removeDuplicates();
        QCOMPARE(requests, pics(tried, "/dir/"));
        if (fault == u"cut")
            QCOMPARE_GE(server.hits("/dir/pic015.jpg"), 4);
        QCOMPARE(element.get().number, num(tried));
        QCOMPARE(bool(mode), action == u"new run" || action == u"delete");
        QCOMPARE(leftovers(dir.path()), pics(tail.contains("written pic015.jpg") ? 15 : last));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
