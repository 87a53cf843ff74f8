#include "sources/bookmark.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBookmark : public QObject
{
    Q_OBJECT

private slots:
    void readFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("address");
        QTest::newRow("Windows, BASEURL first") << "windows_edge.url"
                                                << "http://host/gallery/img005.png";
        QTest::newRow("LF only") << "lf_only.url"
                                 << "http://host/a/b001.gif";
        QTest::newRow("no final line end") << "no_final_line_end.url"
                                           << "http://host/a/b002.gif";
        QTest::newRow("no header") << "no_header.url"
                                   << "http://host/c/d003.png";
        QTest::newRow("UTF-8 with BOM") << "utf8_bom.url" << u"http://host/写真/p01.jpg"_s;
        QTest::newRow("UTF-16LE with BOM") << "utf16le_bom.url" << u"http://host/写真/p02.jpg"_s;
        QTest::newRow("Shift JIS") << "shift_jis.url" << u"http://host/写真/p03.jpg"_s;
        QTest::newRow("URL= only in another section") << "url_in_other_section.url"
                                                      << "none";
        QTest::newRow("over 64 KiB") << "over_64k.url"
                                     << "none";
        QTest::newRow("missing") << "no_such_file.url"
                                 << "none";
    }

    void readFile()
    {
        QFETCH(QString, file);
        QTEST(bookmark::readFile(u"data/bookmarks/"_s + file).value_or(u"none"_s), "address");
    }

    // What is written must read back as itself.
    void format_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Japanese")
            << u"http://host/写真/p.jpg"_s
            << "[InternetShortcut]\r\nURL=http://host/\x8e\xca\x90^/p.jpg\r\n"_ba;
        QTest::newRow("emoji") << u"http://host/😀/p.jpg"_s << "none"_ba;
        // Shift JIS holds ¥ only through a best-fit mapping, so it would not read back as itself.
        QTest::newRow("yen sign") << u"http://host/¥/p.jpg"_s << "none"_ba;
    }

    void format()
    {
        QFETCH(QString, address);
        const std::optional<QByteArray> written = bookmark::format(address);
        QTEST(written.value_or("none"_ba), "bytes");
        if (written)
            QCOMPARE(bookmark::parse(*written), address);
    }
};

QTEST_GUILESS_MAIN(TestBookmark)
#include "tst_bookmark.moc"
