#include "download/seriesscan.h"
#include "support/files.h"
#include "support/table.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSeriesScan : public QObject
{
    Q_OBJECT
private slots:
    // Entries made in order (a trailing "/" makes a folder), the series looked for, and the
    // file found with the number to continue at ("-" for none).
    void highest_data()
    {
        // series: prefix|suffix|width|dated
        columns<QStringList, QString, QString>("entries", "series", "found");
        const auto row = [](const char* name, const QStringList& entries, const char* series,
                            const char* found) {
            QTest::newRow(name) << entries << QString::fromUtf8(series) << QString::fromUtf8(found);
        };
        const char* pic = "pic|.jpg|3|";
        row("gaps", {"pic001.jpg", "pic002.jpg", "pic005.jpg"}, pic, "pic005.jpg 006");
        row("wider after 999, leading zeros compared away",
            {"pic998.jpg", "pic999.jpg", "pic1000.jpg", "pic0999.jpg"}, pic, "pic1000.jpg 1001");
        row("a wider number of lower value", {"pic0123.jpg", "pic122.jpg"}, pic, "pic0123.jpg 124");
        row("past 64 bits", {"pic99999999999999999999.jpg", "pic100000000000000000000.jpg"}, pic,
            "pic100000000000000000000.jpg 100000000000000000001");
        row("narrower numbers are another series", {"pic01.jpg", "pic9.jpg", "pic002.jpg"}, pic,
            "pic002.jpg 003");
        row("other series and extensions beside",
            {"pic001.jpg", "pic009.png", "pict010.jpg", "xpic011.jpg", "pic012.jpg.part",
             "pic01a.jpg", "pic 013.jpg"},
            pic, "pic001.jpg 002");
        row("a folder under a series name", {"pic009.jpg/", "pic003.jpg"}, pic, "pic003.jpg 004");
        row("none found", {"pic.jpg", "other.txt"}, pic, "-");
        row("a decoded prefix, no prefix at all", {"写真 07.jpg", "07.jpg", "08.jpg"},
            "写真 |.jpg|2|", "写真 07.jpg 08");
        row("a run's temporary file is not a file of the series",
            {".stepgrab-0000000000123.part", ".stepgrab-00000000000099.part"},
            ".stepgrab-|.part|13|", ".stepgrab-00000000000099.part 0000000000100");
        // The later moment is the folder with the earlier name, made first: neither the name's
        // order nor the folder's time picks the newest.
        const QStringList dated{"2024-03-15 08:00:00 +0100/pic007.jpg",
                                "2024-03-15 14:05:09 +0900/pic010.jpg", "pic003.jpg",
                                "2024-03-16 00:00:00 +0000"};
        row("dated folders: the newest by the moment its name gives", dated, "pic|.jpg|3|dated",
            "2024-03-15 08:00:00 +0100/pic007.jpg 008");
        row("dated folders off: the output folder only", dated, pic, "pic003.jpg 004");
        row("dated folders: the output folder higher",
            {"2024-03-15 08:00:00 +0100/pic007.jpg", "pic020.jpg"}, "pic|.jpg|3|dated",
            "pic020.jpg 021");
        row("dated folders: a link under a later name is none",
            {"2024-03-15 08:00:00 +0100/pic007.jpg", "elsewhere/pic050.jpg",
             "2025-01-01 00:00:00 +0000 -> elsewhere"},
            "pic|.jpg|3|dated", "2024-03-15 08:00:00 +0100/pic007.jpg 008");
    }
    void highest()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, series);
        QTemporaryDir dir;
        for (const QString& entry : entries) {
            const QString path = dir.filePath(entry.section(u" -> "_s, 0, 0));
            if (entry.contains(u" -> "_s))
                QVERIFY(QFile::link(entry.section(u" -> "_s, 1), path));
            else if (entry.endsWith(u'/'))
                QVERIFY(QDir().mkpath(path));
            else
                QVERIFY(writeFile(path, "x"));
            QTest::qWait(entry.contains(u'/') ? 20 : 0); // folder times apart
        }
        const QStringList s = series.split(u'|');
        const series::Found found =
            series::highestInOutput(dir.path(), s[3] == u"dated", s[0], s[1], s[2].toInt());
        QTEST(found.isEmpty() ? u"-"_s
                              : QDir(dir.path()).relativeFilePath(found.path) + u' ' +
                                    series::numberAfter(found.number, s[2].toInt()),
              "found");
    }

    // The name on disk as a run saves it: escapes decoded, no query.
    void diskName_data()
    {
        // element: location|file name|number|extension
        columns<QString, QString>("element", "disk");
        QTest::newRow("plain") << u"http://h/d|pic|012|jpg"_s << u"pic|.jpg"_s;
        QTest::newRow("escaped prefix, query")
            << u"http://h/d|a%20b%E5%86%99|7|png?w=2"_s << u"a b写|.png"_s;
        QTest::newRow("a number the address cannot keep") << u"http://h/d|pic|1#2|jpg"_s << u"-"_s;
    }
    void diskName()
    {
        QFETCH(QString, element);
        const QStringList p = element.split(u'|');
        const series::DiskName disk = series::diskNameOf({p[0], p[1], p[2], p[3]});
        QTEST(disk.valid ? disk.prefix + u'|' + disk.suffix : u"-"_s, "disk");
    }
};

QTEST_GUILESS_MAIN(TestSeriesScan)
#include "tst_seriesscan.moc"
