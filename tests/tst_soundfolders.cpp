#include "host/soundfolders.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// Each row lays out files under a fresh root, whose folders home/, a/ and b/ are
// XDG_DATA_HOME and the two XDG_DATA_DIRS entries; "path=>target" makes a symbolic link.
class TestSoundFolders : public QObject
{
    Q_OBJECT

    std::optional<QTemporaryDir> mRoot;

private slots:
    void search_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("found");     // name=file under the root, none if empty
        QTest::addColumn<QStringList>("popup"); // a title given twice keeps its later place
        auto row = [](const char* name, const QStringList& files, const QStringList& names,
                      const QString& found, const QStringList& popup) {
            QTest::newRow(name) << files << names << found << popup;
        };
        row("the user's folder, then the data folders in order; the user's file played",
            {"b/sounds/c.oga", "a/sounds/b.wav", "home/sounds/zz.ogg", "b/sounds/x/stereo/zz.oga"},
            {"zz", "b", "c", "zz"}, "zz=home/sounds/zz.ogg", {"b", "c", "zz"});
        row("a theme's stereo/ linking back up read once; a relative data folder is none",
            {"a/sounds/t/stereo=>.", "a/sounds/t/u.wav", "a/sounds/v.wav", "rel/b/sounds/r.wav"},
            {"v", "u"}, "u=a/sounds/t/stereo/u.wav", {"v", "u"});
    }
    void search()
    {
        mRoot.emplace();
        qputenv("XDG_DATA_HOME", mRoot->filePath(u"home"_s).toLocal8Bit());
        qputenv("XDG_DATA_DIRS",
                (mRoot->filePath(u"a"_s) + u":rel/b:"_s + mRoot->filePath(u"b"_s)).toLocal8Bit());
        QFETCH(QStringList, files);
        for (const QString& entry : files) {
            const QString path = mRoot->filePath(entry.section(u"=>"_s, 0, 0));
            const QString target = entry.section(u"=>"_s, 1);
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(target.isEmpty() ? QFile(path).open(QIODevice::WriteOnly)
                                     : QFile::link(target, path));
        }
        QDir::setCurrent(mRoot->path());
        QTEST(sounds::soundNames(), "names");
        QTEST(sounds::oneItemPerTitle(sounds::soundNames()), "popup");
        QFETCH(QString, found);
        QCOMPARE(sounds::soundFile(found.section(u'=', 0, 0)).remove(mRoot->path() + u'/'),
                 found.section(u'=', 1));
    }
};

QTEST_GUILESS_MAIN(TestSoundFolders)
#include "tst_soundfolders.moc"
