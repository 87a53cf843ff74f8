#include "sources/bookmark.h"

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
        for (const auto& [file, address] :
             {std::pair{"windows_edge.url", u"http://host/gallery/img005.png"_s},
              {"no_header.url", u"http://host/c/d003.png"_s},
              {"utf16le_bom.url", u"http://host/写真/p02.jpg"_s},
              {"shift_jis.url", u"http://host/写真/p03.jpg"_s},
              {"url_in_other_section.url", u"none"_s},
              {"over_64k.url", u"none"_s}})
            QTest::newRow(file) << QString::fromLatin1(file) << address;
    }
    void readFile()
    {
        QFETCH(QString, file);
        QTEST(bookmark::readFile(u"data/bookmarks/"_s + file).value_or(u"none"_s), "address");
    }

    // What is written must read back as itself; Shift JIS holds ¥ only through a best-fit
    // mapping, so it would not.
    void format()
    {
        const QString japanese = u"http://host/写真/p.jpg"_s;
        const QByteArray bytes = "[InternetShortcut]\r\nURL=http://host/\x8e\xca\x90^/p.jpg\r\n";
        QCOMPARE(bookmark::format(japanese).value_or("none"), bytes);
        QCOMPARE(bookmark::parse(bytes), japanese);
        QCOMPARE(bookmark::format(u"http://host/¥/p.jpg"_s).value_or("none"), "none");
    }
};

QTEST_GUILESS_MAIN(TestBookmark)
#include "tst_bookmark.moc"
