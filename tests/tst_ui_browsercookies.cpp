#include "fixtureserver.h"
#include "readers/browserprofiles.h"
#include "sources/profilecookies.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/processgroup.h"
#include "support/series.h"
#include "support/table.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

static constexpr qint64 kSize = 2048;

// The login page sets the session cookie the series asks for. Chromium keeps a new cookie in
// memory for about 30 s, unless 512 changes are waiting: the page makes them at once.
static const QByteArray kLoginPage = "<!doctype html><title>in</title><script>"
                                     "for (let i = 0; i < 300; i++)"
                                     " document.cookie = 'flush=' + i + '; path=/';"
                                     "</script><p>in</p>";

class TestBrowserCookies : public QObject
{
    Q_OBJECT

private slots:
    // A real browser logs in on a page of 127.0.0.1 (Chromium under its own X server, with
    // values v10-encrypted as without a keyring); a Stepgrab run of a series that answers only
    // with that cookie reads it from the browser's profile in a home of its own.
    void realBrowser_data()
    {
        // how: "option" (--cookies-from-browser), "preference" (SGUseBrowserCookies and the
        // browser's choice), "none"; quits: the browser is gone before the run
        columns<QString, QString, bool, int, int, QString>("browser", "how", "quits", "exitCode",
                                                           "last", "log");
        QTest::newRow("firefox-esr, running, by the option")
            << u"firefox"_s << u"option"_s << false << 0 << 13 << QString();
        QTest::newRow("chromium, running, by the option")
            << u"chromium"_s << u"option"_s << false << 0 << 13 << QString();
        QTest::newRow("chromium, quit, by the preference")
            << u"chromium"_s << u"preference"_s << true << 0 << 13 << QString();
        QTest::newRow("firefox-esr, without cookies: the login page")
            << u"firefox"_s << u"none"_s << false << 1 << 11 << u"the server sent a web page"_s;
    }
    void realBrowser()
    {
        QFETCH(QString, browser);
        QFETCH(QString, how);
        const bool firefox = browser == u"firefox";
        const QString exe = QStandardPaths::findExecutable(firefox ? u"firefox-esr"_s : browser);
        const QString xvfbExe = QStandardPaths::findExecutable(u"Xvfb"_s);
        if (exe.isEmpty() || xvfbExe.isEmpty())
            QSKIP("the browser or Xvfb is not installed");

        FixtureServer server;
        server.addSequence(u"/login"_s, {{200,
                                          kLoginPage,
                                          {{"Content-Type", "text/html"},
                                           {"Set-Cookie", "sid=abc123; Path=/; HttpOnly"}}}});
        server.addSeries(u"m"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        server.requireCookie(u"m"_s, "sid=abc123");

        QTemporaryDir home, out;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u".config"_s));
        QString profile;
        QStringList arguments;
        Group xvfb, browserGroup; // stopped in reverse: the browser first
        if (firefox) {
            profile = home.filePath(u".mozilla/firefox/t.default"_s);
            QVERIFY(writeFile(home.filePath(u".mozilla/firefox/profiles.ini"_s),
                              "[Profile0]\nName=t\nIsRelative=1\nPath=t.default\nDefault=1\n"));
            // Firefox keeps session cookies in its session store, written every 15 s unless
            // told otherwise.
            QVERIFY(writeFile(profile + u"/user.js"_s,
                              "user_pref(\"browser.sessionstore.interval\", 1000);\n"));
            env.insert(u"MOZ_HEADLESS"_s, u"1"_s);
            arguments = {u"--headless"_s, u"-no-remote"_s, u"-profile"_s, profile};
        } else {
            const QString userData = home.filePath(u".config/chromium"_s);
            profile = userData + u"/Default"_s;
            const QString display = startDisplay(xvfb, xvfbExe);
            QVERIFY(!display.isEmpty());
            env.insert(u"DISPLAY"_s, display);
            arguments = {u"--user-data-dir="_s + userData, u"--password-store=basic"_s,
                         u"--no-first-run"_s, u"--no-default-browser-check"_s};
            // Chromium's sandbox refuses to run as root.
            if (::geteuid() == 0)
                arguments << u"--no-sandbox"_s;
        }
        QVERIFY(browserGroup.start(exe, arguments << server.baseUrl() + u"/login"_s, env));
        const qint64 pid = browserGroup.pid;
        // Firefox's crash helpers leave its group: looked for once it has gone.
        const auto helpers = qScopeGuard([pid, &browserGroup] {
            browserGroup.stop();
            for (qint64 helper : crashHelpers(pid))
                ::kill(helper, SIGKILL);
        });
        // The profile a run would choose holds the cookie once the browser has written it.
        const auto held = [&] {
            const auto chosen = profiles::chosenProfile(
                firefox ? profiles::Family::Firefox : profiles::Family::Chromium, home.path());
            return chosen && chosen->path == profile &&
                   cookies::readProfile(*chosen).lines.contains("\tsid\tabc123\n");
        };
        QTRY_VERIFY_WITH_TIMEOUT(held(), 40000);
        QFETCH(bool, quits);
        if (quits)
            browserGroup.stop();

        QString command = u"--quit-when-done --log --output "_s + out.path();
        if (how == u"option")
            command += u" --cookies-from-browser "_s + browser;
        if (how == u"preference") {
            QSettings settings(home.filePath(u".config/Stepgrab/Stepgrab.conf"_s),
                               QSettings::IniFormat);
            settings.setValue(u"SGUseBrowserCookies"_s, true);
            settings.setValue(u"SGWebBrowser"_s, firefox ? 1 : 2);
        }
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        // Chromium's display is not the run's: with one, a bus would be started through it.
        env.remove(u"DISPLAY"_s);
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(QStringLiteral(STEPGRAB_BINARY), QProcess::splitCommand(command)
                                                       << u"--start"_s
                                                       << server.baseUrl() + u"/m/pic012.jpg"_s);
        QVERIFY(run.waitForFinished(30000));
        const QString output =
            QString::fromLocal8Bit(run.readAllStandardOutput() + run.readAllStandardError());
        QFETCH(QString, log);
        QVERIFY2(output.contains(log), qPrintable(output));
        QVERIFY2(!output.contains(u"abc123"_s), "a cookie's value went to the log");
        QFETCH(int, exitCode);
        QVERIFY2(run.exitCode() == exitCode, qPrintable(output));
        QStringList expected;
        QFETCH(int, last);
        for (int n = 12; n <= last; ++n)
            expected << u"pic%1.jpg"_s.arg(QString::number(n).rightJustified(3, u'0'));
        QCOMPARE(seriesFilesBelow(out.path(), kSize), expected);
    }
};

QTEST_GUILESS_MAIN(TestBrowserCookies)
#include "tst_ui_browsercookies.moc"
