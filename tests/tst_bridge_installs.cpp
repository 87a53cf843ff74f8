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
        const auto firefox = [](const char* name, const char* folder, const char* browser) {
            QTest::newRow(name) << Family::Firefox << QStringList{u"%1*"_s.arg(folder)}
                                << u"%1 %2/p"_s.arg(browser, folder) << true;
        };
        firefox("firefox: package, tarball, ESR", ".mozilla/firefox", "firefox");
        firefox("firefox: configuration folder", ".config/mozilla/firefox", "firefox");
        firefox("firefox: snap", "snap/firefox/common/.mozilla/firefox", "firefox");
        firefox("firefox: snap, configuration folder",
                "snap/firefox/common/.config/mozilla/firefox", "firefox");
        firefox("firefox: Flatpak", ".var/app/org.mozilla.firefox/.mozilla/firefox", "firefox");
        firefox("firefox: Flatpak, configuration folder",
                ".var/app/org.mozilla.firefox/config/mozilla/firefox", "firefox");
        firefox("librewolf", ".librewolf", "librewolf");
        firefox("librewolf: Flatpak", ".var/app/io.gitlab.librewolf-community/.librewolf",
                "librewolf");
        const auto chromium = [](const char* name, const char* folder, const char* browser) {
            QTest::newRow(name) << Family::Chromium << QStringList{u"%1*"_s.arg(folder)}
                                << u"%1 %2/Default"_s.arg(browser, folder) << true;
        };
        chromium("chromium: package", ".config/chromium", "chromium");
        chromium("chromium: snap", "snap/chromium/common/chromium", "chromium");
        chromium("chromium: Flatpak", ".var/app/org.chromium.Chromium/config/chromium", "chromium");
        chromium("chrome", ".config/google-chrome", "google-chrome");
        chromium("chrome beta", ".config/google-chrome-beta", "google-chrome");
        chromium("chrome dev", ".config/google-chrome-unstable", "google-chrome");
        chromium("chrome: Flatpak", ".var/app/com.google.Chrome/config/google-chrome",
                 "google-chrome");
        chromium("brave", ".config/BraveSoftware/Brave-Browser", "brave");
        chromium("brave: Flatpak", ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser",
                 "brave");
        chromium("edge", ".config/microsoft-edge", "microsoft-edge");
        chromium("edge: Flatpak", ".var/app/com.microsoft.Edge/config/microsoft-edge",
                 "microsoft-edge");
        chromium("vivaldi", ".config/vivaldi", "vivaldi");
        chromium("vivaldi: Flatpak", ".var/app/com.vivaldi.Vivaldi/config/vivaldi", "vivaldi");

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
