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

    // Names asked for in turn (at a limit in bytes) and the names given.
    void take_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("given");
        auto row = [](const char* name, const QStringList& asked, int limit,
                      const QStringList& given) { QTest::newRow(name) << asked << limit << given; };
        row("case kept, numbered before the last extension",
            {"a.jpg", "A.jpg", "x.tar.gz", "x.tar.gz"}, 255,
            {"a.jpg", "A.jpg", "x.tar.gz", "x.tar (2).gz"});
        row("no extension, dot file a whole name", {"README", "README", ".bashrc", ".bashrc"}, 255,
            {"README", "README (2)", ".bashrc", ".bashrc (2)"});
        row("numbered name already listed", {"x (2).jpg", "x.jpg", "x.jpg", "x (2).jpg"}, 255,
            {"x (2).jpg", "x.jpg", "x (3).jpg", "x (2) (2).jpg"});
        row("stem shortened to the limit, colliding", {"abcd.jpg", "abcd.jpg", "ab (2).jpg"}, 10,
            {"abcd.jpg", "ab (2).jpg", "ab (3).jpg"});
        // é is two bytes, 日 three: a character is never cut in half, nor from its accent.
        row("multibyte stem, combining accent",
            {u"éé日.png"_s, u"éé日.png"_s, u"ae\u0301e.txt"_s, u"ae\u0301e.txt"_s}, 11,
            {u"éé日.png"_s, u"é (2).png"_s, u"ae\u0301e.txt"_s, u"a (2).txt"_s});
        row("extension longer than the room", {"x.abcdefghij", "x.abcdefghij"}, 12,
            {"x.abcdefghij", "x.abcdef (2)"});
        row("no number fits", {"ab", "ab"}, 3, {"ab", ""});
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

    // A list of one name many times over gives every number in turn, none twice.
    void manyOfOneName()
    {
        urllist::NameBook book;
        for (int i = 1; i < 100000; ++i)
            book.take(u"img"_s);
        QCOMPARE(book.take(u"img"_s), u"img (100000)"_s);
    }
};

QTEST_GUILESS_MAIN(TestUrlList)
#include "tst_urllist.moc"
