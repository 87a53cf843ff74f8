#include "download/fetcher.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/freeport.h"
#include "support/processgroup.h"
#include "support/table.h"

#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Env = QList<QPair<QByteArray, QString>>;
Q_DECLARE_METATYPE(Env)

// The proxy variables every command-line downloader honours, through a real proxy (tinyproxy)
// on 127.0.0.1. "@proxy" in a value stands for the running proxy, "@dead" for a port that
// refuses connections.
class TestProxy : public QObject
{
    Q_OBJECT

    QTemporaryDir mDir;
    Group mProxy;
    quint16 mPort = 0;

    QString proxyLog() const { return fileBytes(mDir.filePath(u"tinyproxy.log"_s)); }

private slots:
    void initTestCase()
    {
        const QString tinyproxy = QStandardPaths::findExecutable(u"tinyproxy"_s);
        if (tinyproxy.isEmpty())
            QSKIP("tinyproxy is not installed (scripts/deps installs it)");
        mPort = freeLocalPort();
        const QString conf = mDir.filePath(u"tinyproxy.conf"_s);
        QVERIFY(writeFile(conf, u"Port %1\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\n"
                                "MaxClients 20\nLogLevel Info\nLogFile \"%2\"\n"_s.arg(mPort)
                                    .arg(mDir.filePath(u"tinyproxy.log"_s))
                                    .toUtf8()));
        QVERIFY(mProxy.start(tinyproxy, {u"-d"_s, u"-c"_s, conf}));
        QTRY_VERIFY(proxyLog().contains(u"Accepting connections"_s));
    }
    void cleanupTestCase() { mProxy.stop(); }

    void environment_data()
    {
        // reason: empty when written
        columns<Env, bool, QString>("env", "viaProxy", "reason");
        QTest::newRow("http_proxy") << Env{{"http_proxy", u"http://@proxy"_s}} << true << QString();
        QTest::newRow("all_proxy") << Env{{"all_proxy", u"http://@proxy"_s}} << true << QString();
        QTest::newRow("a proxy that refuses is not bypassed")
            << Env{{"http_proxy", u"http://@dead"_s}} << false
            << u"ReasonAfterRetries ReasonConnectionRefused 1"_s;
        QTest::newRow("no_proxy names the host")
            << Env{{"http_proxy", u"http://@dead"_s}, {"no_proxy", u"127.0.0.1"_s}} << false
            << QString();
    }
    void environment()
    {
        QFETCH(Env, env);
        QFETCH(bool, viaProxy);
        QFETCH(QString, reason);
        FixtureServer server;
        const QString path = u"/p/%1.jpg"_s.arg(QTest::currentDataTag()).replace(u' ', u'_');
        const QByteArray body = FixtureServer::seriesBody(u"x.jpg"_s, 50000);
        server.addFile(path, body, 200, "image/jpeg");
        for (const auto& [name, value] : env)
            qputenv(name.constData(),
                    QString(value)
                        .replace(u"@proxy"_s, u"127.0.0.1:%1"_s.arg(mPort))
                        .replace(u"@dead"_s, u"127.0.0.1:%1"_s.arg(server.refusingPort()))
                        .toUtf8());
        download::Policy policy;
        policy.retryDelaysMs = {10};
        Fetcher fetcher(policy);
        QSignalSpy done(&fetcher, &Fetcher::finished);
        QTemporaryDir out;
        const QUrl url(server.baseUrl() + path);
        fetcher.start(url, out.filePath(u"x.jpg"_s), false);
        QVERIFY(done.wait(10000));
        for (const auto& [name, value] : env)
            qunsetenv(name.constData());
        const auto result = done.at(0).at(0).value<Fetcher::Result>();
        QCOMPARE(result.reason, reason);
        QCOMPARE(fileBytes(out.filePath(u"x.jpg"_s)), reason.isEmpty() ? body : "<none>");
        QTRY_COMPARE(proxyLog().contains(url.toString()), viaProxy);
    }
};

QTEST_GUILESS_MAIN(TestProxy)
#include "tst_proxy.moc"
