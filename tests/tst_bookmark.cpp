#include "sources/bookmark.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestBookmark : public QObject
{
    Q_OBJECT

private slots:
    void readFile_data();
    void readFile();
    void format_data();
    void format();
};

void TestBookmark::readFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QVariant>("address"); // invalid: none

    const QVariant none;
    QTest::newRow("Stepgrab's own") << "stepgrab.url" << QVariant(u"http://host/dir/pic012.jpg"_s);
    QTest::newRow("Windows, BASEURL first, lines after")
        << "windows_edge.url" << QVariant(u"http://host/gallery/img005.png"_s);
    QTest::newRow("LF only") << "lf_only.url" << QVariant(u"http://host/a/b001.gif"_s);
    QTest::newRow("no final line end")
        << "no_final_line_end.url" << QVariant(u"http://host/a/b002.gif"_s);
    QTest::newRow("no header") << "no_header.url" << QVariant(u"http://host/c/d003.png"_s);
    QTest::newRow("UTF-8 with BOM") << "utf8_bom.url" << QVariant(u"http://host/写真/p01.jpg"_s);
    QTest::newRow("UTF-16LE with BOM")
        << "utf16le_bom.url" << QVariant(u"http://host/写真/p02.jpg"_s);
    QTest::newRow("Shift JIS") << "shift_jis.url" << QVariant(u"http://host/写真/p03.jpg"_s);
    QTest::newRow("URL= only in another section") << "url_in_other_section.url" << none;
    QTest::newRow("over 64 KiB") << "over_64k.url" << none;
    QTest::newRow("empty") << "empty.url" << none;
    QTest::newRow("missing") << "no_such_file.url" << none;
    QTest::newRow("a folder") << "." << none;
}

void TestBookmark::readFile()
{
    QFETCH(QString, file);
    QFETCH(QVariant, address);
    const std::optional<QString> read = bookmark::readFile(u"data/bookmarks/"_s + file);
    QCOMPARE(read.has_value(), address.isValid());
    if (read)
        QCOMPARE(*read, address.toString());
}

void TestBookmark::format_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("bytes"); // null: none

    QTest::newRow("ASCII") << u"http://host/dir/pic012.jpg"_s
                           << "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba;
    QTest::newRow("Japanese") << u"http://host/写真/p.jpg"_s
                              << "[InternetShortcut]\r\nURL=http://host/\x8e\xca\x90^/p.jpg\r\n"_ba;
    QTest::newRow("only the location")
        << u"http://host/dir/."_s << "[InternetShortcut]\r\nURL=http://host/dir/.\r\n"_ba;
    QTest::newRow("emoji") << u"http://host/😀/p.jpg"_s << QByteArray();
    // Written only through a best-fit mapping, or bytes that also read as UTF-8 (ﾃｱ is C3 B1).
    QTest::newRow("yen sign") << u"http://host/¥/p.jpg"_s << QByteArray();
    QTest::newRow("half-width kana read as UTF-8") << u"http://host/ﾃｱ/p.jpg"_s << QByteArray();
}

void TestBookmark::format()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> written = bookmark::format(address);
    QCOMPARE(written.has_value(), !bytes.isNull());
    if (written) {
        QCOMPARE(*written, bytes);
        QCOMPARE(bookmark::parse(*written), address);
    }
}

QTEST_GUILESS_MAIN(TestBookmark)
#include "tst_bookmark.moc"
