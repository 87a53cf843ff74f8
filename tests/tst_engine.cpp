#include "download/fetcher.h"
#include "download/referrer.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/table.h"

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

    // "@" is this server's origin on 127.0.0.1, "%" the same server as localhost: another origin.
    static QString at(QString text, const FixtureServer& server)
    {
        const QString port = QString::number(server.port());
        return text.replace(u'@', u"http://127.0.0.1:"_s + port)
            .replace(u'%', u"http://localhost:"_s + port);
    }

    // Each request the server saw, in order, as "path Referer" ("path -" without one).
    static QStringList sent(const FixtureServer& server)
    {
        QStringList out;
        QHash<QString, int> seen;
        for (const QString& path : server.requestLog()) {
            const QByteArray referer = server.headerValues(path, "Referer").value(seen[path]++);
            out << path + u' ' + (referer.isEmpty() ? u"-"_s : QString::fromUtf8(referer));
        }
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

    void rule_data()
    {
        columns<QString, QString, QByteArray>("page", "request", "referer"); // referer "": none
        const auto row = [](const char* name, const QString& page, const QString& request,
                            const QByteArray& referer) {
            QTest::newRow(name) << page << request << referer;
        };
        const QString gallery = u"http://a.example/g/index.html?p=2"_s;
        row("same origin: the whole page", gallery, u"http://a.example/pics/1.jpg"_s,
            gallery.toUtf8());
        row("cross origin: the origin", gallery, u"http://cdn.example/1.jpg"_s,
            "http://a.example/");
        row("https to http: none", u"https://a.example/g/"_s, u"http://a.example/1.jpg"_s, {});
        row("user info and fragment stripped", u"http://me:pw@a.example/g.html#top"_s,
            u"http://a.example/1.jpg"_s, "http://a.example/g.html");
        row("default port written out: same origin", u"http://a.example:80/g"_s,
            u"http://a.example/1.jpg"_s, "http://a.example/g");
        row("other port: another origin", u"http://a.example:8080/g"_s, u"http://a.example/1.jpg"_s,
            "http://a.example:8080/");
        row("no path: the root", u"http://a.example"_s, u"http://a.example/1.jpg"_s,
            "http://a.example/");
        row("line breaks stay encoded", u"http://a.example/g%0D%0AX: y"_s,
            u"http://a.example/1.jpg"_s, "http://a.example/g%0D%0AX:%20y");
        row("a page longer than 4096: the origin", u"http://a.example/g?"_s + QString(5000, u'q'),
            u"http://a.example/1.jpg"_s, "http://a.example/");
        row("file page: none", u"file:///home/me/g.html"_s, u"http://a.example/1.jpg"_s, {});
        row("page without a host: none", u"http:///g"_s, u"http://a.example/1.jpg"_s, {});
        row("request to a file: none", gallery, u"file:///etc/passwd"_s, {});
        row("malformed page: none", u"http://a b/%zz"_s, u"http://a.example/1.jpg"_s, {});
    }
    void rule()
    {
        QFETCH(QString, page);
        QFETCH(QString, request);
        QTEST(download::referrerFor(QUrl(page), QUrl(request)), "referer");
    }

    // What one fetch sent, hop by hop, under a run's page.
    void sent_data()
    {
        // page "": none; readsPage: the link search's own fetch of a page
        columns<QString, QString, bool, QStringList>("page", "path", "readsPage", "requests");
        const QString page = u"@/g/index.html?p=1#pics"_s, full = u"@/g/index.html?p=1"_s;
        const auto row = [](const char* name, const QString& page, const char* path,
                            const QStringList& requests, bool readsPage = false) {
            QTest::newRow(name) << page << QString::fromLatin1(path) << readsPage << requests;
        };
        row("no page", {}, "/s/p001.jpg", {"/s/p001.jpg -"});
        row("cross-origin redirect: the origin after it", page, "/r/away",
            {"/r/away " + full, "/s/p001.jpg @/"});
        row("redirect back to the page's origin", u"%/g.html"_s, "/r/back",
            {"/r/back %/", "/s/p001.jpg %/g.html"});
        row("a redirect's endless page is left for its target", page, "/r/endless",
            {"/r/endless " + full, "/s/p001.jpg " + full});
        row("retry after a cut", page, "/c/cut.bin", {"/c/cut.bin " + full, "/c/cut.bin " + full});
        row("the link search's page: none", page, "/g/index.html", {"/g/index.html -"}, true);
    }
    void sent()
    {
        QFETCH(QString, page);
        QFETCH(QString, path);
        QFETCH(bool, readsPage);
        QFETCH(QStringList, requests);
        FixtureServer server;
        server.addSeries(u"/s"_s, u"p"_s, 1, 3, 3, u"jpg"_s, FixtureServer::End::NotFound404Binary,
                         3000);
        server.addRedirect(u"/r/away"_s, at(u"%/s/p001.jpg"_s, server));
        server.addRedirect(u"/r/back"_s, at(u"%/s/p001.jpg"_s, server));
        server.addRedirect(u"/r/endless"_s, at(u"@/s/p001.jpg"_s, server), 302, qint64(1) << 40);
        server.addResumable(u"/c/cut.bin"_s, 300000, {100000});
        server.addFile(u"/g/index.html"_s, "<html><a href=p001.jpg>1</a></html>", 200, "text/html");
        QTemporaryDir dir;
        download::Policy policy;
        policy.retryDelaysMs = {20};
        policy.referrer = QUrl(at(page, server));
        Fetcher fetcher(policy);
        QSignalSpy done(&fetcher, &Fetcher::finished);
        Fetcher::Options options;
        options.page = readsPage; // with no time bound, as a caller may ask
        // Every fetch starts on 127.0.0.1; only a redirect leads to localhost.
        fetcher.start(QUrl(at(u"@"_s + path, server)), dir.filePath(u"f"_s), options);
        QVERIFY(done.wait(10000));
        QCOMPARE(done.at(0).at(0).value<Fetcher::Result>().outcome, Fetcher::Outcome::Written);
        QCOMPARE(sent(server), requests.replaceInStrings(u"@"_s, at(u"@"_s, server))
                                   .replaceInStrings(u"%"_s, at(u"%"_s, server)));
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
