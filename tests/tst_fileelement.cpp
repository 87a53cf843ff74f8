#include "address/fileelement.h"

#include <QTest>
#include <atomic>
#include <thread>

using namespace address;

class TestFileElement : public QObject
{
    Q_OBJECT

private slots:
    void pathRules_data();
    void pathRules();
    void webScheme_data();
    void webScheme();
    void split_data();
    void split();
    void refused_data();
    void refused();
    void nextNumber_data();
    void nextNumber();
    void fullAddressKeepsDotWithoutExtension();
    void storeNeverMixesTwoElements();
};

void TestFileElement::pathRules_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("location");
    const auto row = [](const char* name, QString path, QString last, QString ext, QString loc) {
        QTest::newRow(name) << path << last << ext << loc;
    };

    row("plain", "http://host/dir/pic012.jpg", "pic012.jpg", "jpg", "http:/host/dir");
    row("query belongs to extension", "http://host/dir/pic012.jpg?size=2", "pic012.jpg?size=2",
        "jpg?size=2", "http:/host/dir");
    row("no dot", "http://host/dir/pic012", "pic012", "", "http:/host/dir");
    row("dot in folder only", "http://host/d.x/pic", "pic", "", "http:/host/d.x");
    row("two extensions", "http://host/a/pic01.tar.gz", "pic01.tar.gz", "gz", "http:/host/a");
    row("slash runs collapse", "http://host//dir///pic.jpg", "pic.jpg", "jpg", "http:/host/dir");
    row("trailing slash", "http://abc.lan/", "/", "lan", "http:");
    row("bare host", "http://abc.lan", "abc.lan", "lan", "http:");
}

void TestFileElement::pathRules()
{
    QFETCH(QString, path);
    QTEST(lastPathComponent(path), "last");
    QTEST(pathExtension(path), "extension");
    QTEST(deletingLastPathComponent(path), "location");
}

void TestFileElement::webScheme_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("http") << "http://host/a/pic01.jpg" << true;
    QTest::newRow("https") << "https://host/a/pic01.jpg" << true;
    QTest::newRow("anywhere in the text") << "see http://host/a.jpg" << true;
    QTest::newRow("ftp") << "ftp://host/a/b01.zip" << false;
    QTest::newRow("capital scheme") << "HTTP://host/a/pic01.jpg" << false;
    QTest::newRow("one slash") << "http:/host/a/pic01.jpg" << false;
    QTest::newRow("empty") << QString() << false;
}

void TestFileElement::webScheme()
{
    QFETCH(QString, text);
    QTEST(containsWebScheme(text), "accepted");
}

void TestFileElement::split_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("next");
    const auto row = [](const char* name, QString address, QString fileName, QString number,
                        QString ext, QString location, QString next) {
        QTest::newRow(name) << address << fileName << number << ext << location << next;
    };

    const QString d = QStringLiteral("http://host/dir");
    const QString a = QStringLiteral("http://host/a");
    row("prefix", d + "/pic012.jpg", "pic", "012", "jpg", d, d + "/pic013.jpg");
    row("no prefix", a + "/012.jpg", "", "012", "jpg", a, a + "/013.jpg");
    row("carry keeps width", a + "/pic099.gif", "pic", "099", "gif", a, a + "/pic100.gif");
    row("width grows", a + "/pic9.gif", "pic", "9", "gif", a, a + "/pic10.gif");
    row("no digit", a + "/index.html", "", "index", "html", a, a + "/00001.html");
    row("letters inside number", a + "/k2pic01.jpg", "k", "2pic01", "jpg", a, a + "/k000003.jpg");
    row("double extension", a + "/pic01.tar.gz", "pic", "01.tar", "gz", a, a + "/pic000002.gz");
    row("query", a + "/pic012.jpg?size=2", "pic", "012", "jpg?size=2", a, a + "/pic013.jpg?size=2");
    row("file at root", "http://host/pic5.png", "pic", "5", "png", "http://host",
        "http://host/pic6.png");
    row("bare host", "http://abc.lan", "", "abc", "lan", "http:/", "http://001.lan");
    row("https", "https://host/dir/pic012.jpg", "pic", "012", "jpg", "https://host/dir",
        "https://host/dir/pic013.jpg");
    row("ftp", "ftp://host/a/b01.zip", "b", "01", "zip", "ftp://host/a", "ftp://host/a/b02.zip");
    row("non-ASCII digits start the number", a + QStringLiteral(u"/pic\u0661\u0662.jpg"), "pic",
        QStringLiteral(u"\u0661\u0662"), "jpg", a, a + "/pic01.jpg");
    row("long number", a + "/v0099999999999.bin", "v", "0099999999999", "bin", a,
        a + "/v0100000000000.bin");
}

void TestFileElement::split()
{
    QFETCH(QString, address);
    QFETCH(QString, location);
    const Split split = parseFileElement(address);
    QVERIFY(split.countable);
    QTEST(split.fileName, "fileName");
    QTEST(split.number, "number");
    QTEST(split.extension, "extension");
    QCOMPARE(locationOf(address), location);

    // The split must give the address back, or the first fetch asks for another file.
    const FileElement element{location, split.fileName, split.number, split.extension};
    QCOMPARE(fullAddress(element), address);
    FileElementStore store;
    store.set(element);
    QTEST(fullAddress(store.countUp()), "next");
}

void TestFileElement::refused_data()
{
    QTest::addColumn<QString>("address");

    QTest::newRow("digit in extension") << "http://host/a/song.mp3";
    QTest::newRow("digit in query") << "http://host/a/img.php?id=012";
    QTest::newRow("site with trailing slash") << "http://abc.lan/";
    QTest::newRow("no dot") << "http://host/dir/pic012";
    QTest::newRow("folder") << "http://host/dir/";
}

void TestFileElement::refused()
{
    QFETCH(QString, address);
    QVERIFY(!parseFileElement(address).countable);
}

void TestFileElement::nextNumber_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("next");
    const auto row = [](const char* name, QString number, QString next) {
        QTest::newRow(name) << number << next;
    };

    row("keeps width", "012", "013");
    row("carry inside width", "099", "100");
    row("grows", "999", "1000");
    row("one digit grows", "9", "10");
    row("never shrinks", "0999", "1000");
    row("after growth", "1000", "1001");
    row("edited to 7", "7", "8");
    row("edited to 0", "0", "1");
    row("past 32 bits", "2147483647", "2147483648");
    row("long padded", "0099999999999", "0100000000000");
    row("all nines long", "99999999999999999999", "100000000000000000000");
    row("letters count as zero", "abc", "001");
    row("empty", "", "1");
    row("digits then letters", "2pic01", "000003");
    row("digits then extension", "01.tar", "000002");
    row("negative", "-5", "-4");
    row("negative to zero pads", "-1", "00");
    row("leading blank", " 5", "06");
}

void TestFileElement::nextNumber()
{
    QFETCH(QString, number);
    QTEST(address::nextNumber(number), "next");
}

void TestFileElement::fullAddressKeepsDotWithoutExtension()
{
    QCOMPARE(fullAddress({"http://host/a", "x", "1", QString()}), QString("http://host/a/x1."));
}

void TestFileElement::storeNeverMixesTwoElements()
{
    // Every field carries the tag of the element it came from; the number starts at
    // tag * 10^9 so that count-ups can never reach the next tag within this test.
    const auto elementFor = [](int tag) {
        const QString t = QString::number(tag);
        return FileElement{"http://h/" + t, "p" + t + "_", t + "000000000", "e" + t};
    };
    const auto consistent = [](const FileElement& e) {
        const QString t = e.extension.mid(1);
        bool ok = false;
        const qlonglong n = e.number.toLongLong(&ok);
        return ok && e.location == "http://h/" + t && e.fileName == "p" + t + "_" &&
               n / 1000000000 == t.toLongLong();
    };

    FileElementStore store;
    store.set(elementFor(1));
    std::atomic<bool> done{false};
    std::atomic<int> bad{0};
    std::atomic<long> reads{0};
    std::thread counter([&] {
        while (!done)
            bad += !consistent(store.countUp());
    });
    std::thread reader([&] {
        while (!done) {
            bad += !consistent(store.get());
            ++reads;
        }
    });
    for (int tag = 1; tag <= 200000; ++tag)
        store.set(elementFor(tag % 97 + 1));
    done = true;
    counter.join();
    reader.join();

    QVERIFY(reads > 0);
    QCOMPARE(bad.load(), 0);
    QVERIFY(consistent(store.get()));
}

QTEST_GUILESS_MAIN(TestFileElement)
#include "tst_fileelement.moc"
