#include "download/urllist.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestUrlList : public QObject
{
    Q_OBJECT

private slots:
    // Lines trimmed, blank and white ones skipped; CR LF and a final line end alike.
    void splitList()
    {
        QCOMPARE(urllist::splitList(u"\r\n a \r\n\r\n\t \nb\r\n"_s), (QStringList{"a", "b"}));
    }
    void take_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("limit"); // in bytes
        QTest::addColumn<QStringList>("given");
        auto row = [](const char* name, const QStringList& asked, int limit,
                      const QStringList& given) { QTest::newRow(name) << asked << limit << given; };
        row("case kept, last extension, numbered name listed",
            {"A.jpg", "a.jpg", "x.tar.gz", "x.tar.gz", "x (2).jpg", "x.jpg", "x.jpg"}, 255,
            {"A.jpg", "a.jpg", "x.tar.gz", "x.tar (2).gz", "x (2).jpg", "x.jpg", "x (3).jpg"});
        // é is two bytes, 日 three: a character is never cut in half, nor from its accent.
        row("multibyte stem, combining accent",
            {u"éé日.png"_s, u"éé日.png"_s, u"ae\u0301e.txt"_s, u"ae\u0301e.txt"_s}, 11,
            {u"éé日.png"_s, u"é (2).png"_s, u"ae\u0301e.txt"_s, u"a (2).txt"_s});
    }
    void take()
    {
        QFETCH(QStringList, asked);
        QFETCH(int, limit);
        urllist::NameBook book;
        QStringList out;
        for (const QString& name : asked)
            out << book.take(name, limit);
        QTEST(out, "given");
    }
};

QTEST_GUILESS_MAIN(TestUrlList)
#include "tst_urllist.moc"
