#include "host/soundfolders.h"

#include <QtTest>
#include <optional>

using namespace Qt::StringLiterals;

// Each row lays out files under a fresh root, whose folders home/, a/ and b/ are
// XDG_DATA_HOME and the two XDG_DATA_DIRS entries; "path=>target" makes a symbolic link.
class TestSoundFolders : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> mRoot;

    void lay(const QStringList& files)
    {
        for (const QString& entry : files) {
            const QStringList link = entry.split(u"=>"_s);
            const QString path = mRoot->filePath(link[0]);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (link.size() == 2)
                QVERIFY(QFile::link(link[1], path));
            else if (path.endsWith(u'/'))
                QVERIFY(QDir().mkpath(path));
            else
                QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        }
    }

private slots:
    void init()
    {
        mRoot.emplace();
        qputenv("XDG_DATA_HOME", mRoot->filePath(u"home"_s).toLocal8Bit());
        qputenv("XDG_DATA_DIRS",
                (mRoot->filePath(u"a"_s) + u":rel/b:"_s + mRoot->filePath(u"b"_s)).toLocal8Bit());
    }

    void search_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("lookup");
        QTest::addColumn<QString>("file"); // under the root; "" for none

        QTest::newRow("the user's folder, then the data folders in order")
            << QStringList{"b/sounds/complete.oga", "a/sounds/bell.wav", "home/sounds/zz.ogg"}
            << QStringList{"zz", "bell", "complete"} << "complete"
            << "b/sounds/complete.oga";
        QTest::newRow("a folder's own files before its themes', theme names and files not sounds")
            << QStringList{"a/sounds/freedesktop/stereo/message.oga",
                           "a/sounds/freedesktop/index.theme", "a/sounds/zz.wav",
                           "a/sounds/alpha/stereo/bell.oga", "a/sounds/empty/"}
            << QStringList{"zz", "bell", "message"} << "freedesktop"
            << "";
        QTest::newRow("a name in two folders: both listed, the user's file played")
            << QStringList{"b/sounds/x/stereo/bell.oga", "home/sounds/bell.wav"}
            << QStringList{"bell", "bell"} << "bell"
            << "home/sounds/bell.wav";
        QTest::newRow("hidden files and the last extension only")
            << QStringList{"home/sounds/.quiet.wav", "home/sounds/tick.tar.gz"}
            << QStringList{".quiet", "tick.tar"} << "tick"
            << "";
        QTest::newRow("only stereo/ of a theme, not its other folders")
            << QStringList{"a/sounds/t/mono/x.wav", "a/sounds/t/stereo/y.wav"} << QStringList{"y"}
            << "x"
            << "";
        QTest::newRow("a theme's stereo/ linking back up is read once, not followed round")
            << QStringList{"a/sounds/t/stereo=>.", "a/sounds/t/u.wav", "a/sounds/v.wav"}
            << QStringList{"v", "u"} << "u"
            << "a/sounds/t/stereo/u.wav";
        QTest::newRow("a relative data folder is no folder")
            << QStringList{"rel/b/sounds/x.wav"} << QStringList{} << "x"
            << "";
        QTest::newRow("no sound folders at all") << QStringList{} << QStringList{} << ""
                                                 << "";
    }

    void search()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, names);
        QFETCH(QString, lookup);
        QFETCH(QString, file);
        lay(files);
        QDir::setCurrent(mRoot->path());
        QCOMPARE(sounds::soundNames(), names);
        QCOMPARE(sounds::soundFile(lookup), file.isEmpty() ? QString() : mRoot->filePath(file));
    }

    void unsetHome()
    {
        qunsetenv("XDG_DATA_HOME");
        QCOMPARE(sounds::soundFolders().value(0), QDir::homePath() + u"/.local/share/sounds"_s);
    }

    // A folder of more files than anyone could choose from is cut, not read to its end.
    void bounded()
    {
        QStringList files;
        for (int n = 0; n < 9000; ++n)
            files << u"home/sounds/s%1.wav"_s.arg(n);
        lay(files);
        QCOMPARE(sounds::soundNames().size(), 8000);
    }

    void popup_data()
    {
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("a title given twice keeps its later place")
            << QStringList{"bell", "mine", "bell", "complete"}
            << QStringList{"mine", "bell", "complete"};
        QTest::newRow("no duplicates: unchanged") << QStringList{"b", "a"} << QStringList{"b", "a"};
    }

    void popup()
    {
        QFETCH(QStringList, titles);
        QFETCH(QStringList, items);
        QCOMPARE(sounds::oneItemPerTitle(titles), items);
    }
};

QTEST_GUILESS_MAIN(TestSoundFolders)
#include "tst_soundfolders.moc"
