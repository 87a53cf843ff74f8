#include "fixtureserver.h"
#include "readers/browserprofiles.h"
#include "readers/browserreader.h"
#include "support/files.h"
#include "support/table.h"

#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;
using profiles::Family;

Q_DECLARE_METATYPE(Family)

// What each captured session file shows in front.
static const QString kFirefoxPage = u"http://127.0.0.1:18765/page.html"_s;
static const QString kChromiumPage = u"http://127.0.0.1:8765/a.html"_s;

class TestBridgeInstalls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qunsetenv("XDG_CONFIG_HOME"); }

    // Made-up home folders with the captured profiles placed where each install keeps them.
    // An install is its folder under home (profiles.ini's, or the user-data folder) and marks:
    // * its lock held by this process, ~ held by a process that is gone, @ the profile folder a
    // symbolic link to a folder outside home, + Local State naming "Profile 1" as last used,
    // ! the folder alone, no profile in it.
    void installs_data()
    {
        columns<Family, QStringList, QString, bool>("family", "installs", "chosen", "inUse");
        // One row per way a folder is found (under home, under the configuration folder) and
        // family: the other installs are entries of the reader's own table, read the same way.
        QTest::newRow("firefox: package, tarball, ESR")
            << Family::Firefox << QStringList{".mozilla/firefox*"} << "firefox .mozilla/firefox/p"
            << true;
        QTest::newRow("firefox: configuration folder")
            << Family::Firefox << QStringList{".config/mozilla/firefox*"}
            << "firefox .config/mozilla/firefox/p" << true;
        QTest::newRow("chromium: package") << Family::Chromium << QStringList{".config/chromium*"}
                                           << "chromium .config/chromium/Default" << true;

        QTest::newRow("firefox: the snap in use wins over the package listed first")
            << Family::Firefox
            << QStringList{".mozilla/firefox", "snap/firefox/common/.mozilla/firefox*"}
            << "firefox snap/firefox/common/.mozilla/firefox/p" << true;
        QTest::newRow("chromium family: brave in use wins over chromium listed first")
            << Family::Chromium
            << QStringList{".config/chromium", ".config/BraveSoftware/Brave-Browser*"}
            << "brave .config/BraveSoftware/Brave-Browser/Default" << true;
        QTest::newRow("none in use: the first listed, not running")
            << Family::Firefox << QStringList{".librewolf", ".mozilla/firefox"}
            << "firefox .mozilla/firefox/p" << false;
        QTest::newRow("a lock left by a crash is not in use")
            << Family::Chromium << QStringList{".config/chromium~"}
            << "chromium .config/chromium/Default" << false;
        QTest::newRow("an install folder without a profile is passed over")
            << Family::Chromium << QStringList{".config/chromium!", "snap/chromium/common/chromium"}
            << "chromium snap/chromium/common/chromium/Default" << false;
        QTest::newRow("none present") << Family::Firefox << QStringList{} << "" << false;
        QTest::newRow("chromium: the last used profile of Local State")
            << Family::Chromium << QStringList{".config/chromium*+"}
            << "chromium .config/chromium/Profile 1" << true;
        // Followed, as profile-sync-daemon and users who move a profile to another disk rely on,
        // and named as found.
        QTest::newRow("firefox: profile folder linked to elsewhere")
            << Family::Firefox << QStringList{".mozilla/firefox*@"} << "firefox .mozilla/firefox/p"
            << true;
        QTest::newRow("chromium: profile folder linked to elsewhere")
            << Family::Chromium << QStringList{".config/chromium*@"}
            << "chromium .config/chromium/Default" << true;
    }
    void installs()
    {
        QFETCH(Family, family);
        QFETCH(QStringList, installs);
        QFETCH(bool, inUse);
        QTemporaryDir home, elsewhere;
        QVERIFY(home.isValid() && elsewhere.isValid());
        const bool firefox = family == Family::Firefox;
        for (QString install : installs) {
            QString marks;
            while (!install.isEmpty() && QStringLiteral("*~@+!").contains(install.back()))
                marks += install.back(), install.chop(1);
            const QString root = home.filePath(install);
            QVERIFY(QDir().mkpath(root));
            if (marks.contains('!'))
                continue;
            const QString profile = root + (firefox               ? u"/p"_s
                                            : marks.contains('+') ? u"/Profile 1"_s
                                                                  : u"/Default"_s);
            const QString real = marks.contains('@') ? elsewhere.filePath(install) : profile;
            QVERIFY(QDir().mkpath(real));
            QVERIFY(real == profile || QFile::link(real, profile));
            QByteArray pid; // no lock
            if (marks.contains('*') || marks.contains('~'))
                pid = marks.contains('*') ? QByteArray::number(::getpid()) : "2147483000";
            if (firefox) {
                // As firefox-esr 153 laid it out: the Install section names the profile "p".
                QVERIFY(writeFile(root + "/profiles.ini", data("firefox/profiles.ini")));
                if (!pid.isEmpty())
                    QVERIFY(::symlink("127.0.0.1:+" + pid, QFile::encodeName(real + "/lock")) == 0);
                QVERIFY(writeFile(real + "/sessionstore-backups/recovery.jsonlz4",
                                  data("firefox/firefox-esr-153.jsonlz4")));
            } else {
                if (!pid.isEmpty())
                    QVERIFY(::symlink(QSysInfo::machineHostName().toLocal8Bit() + '-' + pid,
                                      QFile::encodeName(root + "/SingletonLock")) == 0);
                QVERIFY(QDir().mkpath(root + "/Default"));
                QVERIFY(!marks.contains('+') ||
                        writeFile(root + "/Local State",
                                  R"({"profile":{"last_used":"Profile 1","info_cache":{}}})"));
                QVERIFY(writeFile(real + "/Sessions/Session_13340000000000000",
                                  data("chromium/one_window.snss")));
            }
        }

        const std::optional<profiles::Profile> chosen =
            profiles::chosenProfile(family, home.path());
        QTEST(chosen ? chosen->browser + ' ' + QDir(home.path()).relativeFilePath(chosen->path)
                     : QString(),
              "chosen");
        QCOMPARE(chosen && chosen->inUse, inUse);

        // The bridge's readers read the same profile, where a browser runs.
        qputenv("HOME", QFile::encodeName(home.path()));
        FixtureServer server;
        const bridge::Windows windows =
            firefox ? bridge::makeFirefoxReader({})->read()
                    : bridge::makeChromiumReader({.devtoolsPort = server.refusingPort()})->read();
        QCOMPARE(windows.running, inUse);
        QCOMPARE(windows.addresses.value(0), !inUse    ? QString()
                                             : firefox ? kFirefoxPage
                                                       : kChromiumPage);
    }

private:
    static QByteArray data(const QString& name) { return fileBytes(QFINDTESTDATA("data/" + name)); }
};

QTEST_GUILESS_MAIN(TestBridgeInstalls)
#include "tst_bridge_installs.moc"
