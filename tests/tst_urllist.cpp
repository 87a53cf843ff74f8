#include "download/urllist.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestUrlList : public QObject
{
    Q_OBJECT

private slots:
    void splitList_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("CR LF, final line end") << u"a\r\nb\r\n"_s << QStringList{"a", "b"};
        QTest::newRow("blank and white lines") << u"\n a \n\n\t \nb"_s << QStringList{"a", "b"};
        QTest::newRow("blanks only") << u" \r\n\t\n"_s << QStringList{};
    }

    void splitList()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, addresses);
        QCOMPARE(urllist::splitList(text), addresses);
    }

    // Names asked for in turn (at a limit in bytes) and the names given.
    void take_data()
    {
        QTest::addColumn<QStringList>("asked");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("given");
        auto row = [](const char* name, const QStringList& asked, int limit,
                      const QStringList& given) { QTest::newRow(name) << asked << limit << given; };
        row("distinct names kept", {"a.jpg", "b.jpg", "A.jpg"}, 255, {"a.jpg", "b.jpg", "A.jpg"});
        row("numbered before the last extension", {"x.tar.gz", "x.tar.gz", "x.tar.gz"}, 255,
            {"x.tar.gz", "x.tar (2).gz", "x.tar (3).gz"});
        row("no extension", {"README", "README"}, 255, {"README", "README (2)"});
        row("dot file is a whole name", {".bashrc", ".bashrc"}, 255, {".bashrc", ".bashrc (2)"});
        row("numbered name already listed", {"x (2).jpg", "x.jpg", "x.jpg", "x (2).jpg"}, 255,
            {"x (2).jpg", "x.jpg", "x (3).jpg", "x (2) (2).jpg"});
        row("stem shortened to the limit", {"abcdef.jpg", "abcdef.jpg"}, 10,
            {"abcdef.jpg", "ab (2).jpg"});
        row("shortened stem collides with a given name", {"abcd.jpg", "abcd.jpg", "ab (2).jpg"}, 10,
            {"abcd.jpg", "ab (2).jpg", "ab (3).jpg"});
        row("room enough, no collision", {"abcd.jpg", "abcd.jpg", "ab (2).jpg"}, 14,
            {"abcd.jpg", "abcd (2).jpg", "ab (2).jpg"});
        // é is two bytes, 日 three: a character is never cut in half.
        row("multibyte stem", {u"éé日.png"_s, u"éé日.png"_s}, 14, {u"éé日.png"_s, u"éé (2).png"_s});
        row("combining accent kept with its letter", {u"ae\u0301e.txt"_s, u"ae\u0301e.txt"_s}, 11,
            {u"ae\u0301e.txt"_s, u"a (2).txt"_s});
        row("extension longer than the room", {"x.abcdefghij", "x.abcdefghij"}, 12,
            {"x.abcdefghij", "x.abcdef (2)"});
        row("no number fits", {"ab", "ab"}, 3, {"ab", ""});
    }

    void take()
    {
        QFETCH(QStringList, asked);
        QFETCH(int, limit);
        QFETCH(QStringList, given);
        urllist::NameBook book;
        QStringList out;
        for (const QString& name : asked)
            out << book.take(name, limit);
        QCOMPARE(out, given);
    }

    // A list of one name many times over is numbered without searching from 2 each time.
    void manyOfOneName()
    {
        urllist::NameBook book;
        QString last;
        for (int i = 0; i < 100000; ++i)
            last = book.take(u"img"_s);
        QCOMPARE(last, u"img (100000)"_s);
    }
};

QTEST_GUILESS_MAIN(TestUrlList)

#include "tst_urllist.moc"
