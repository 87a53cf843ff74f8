#include "download/htmlcheck.h"

#include <QTest>

class TestHtmlCheck : public QObject
{
    Q_OBJECT

private slots:
    void isHTMLFile_data();
    void isHTMLFile();
};

void TestHtmlCheck::isHTMLFile_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("html");

    const QByteArray bom("\xEF\xBB\xBF");
    QTest::newRow("classic error page") << QByteArray("<html><body>404</body></html>") << true;
    QTest::newRow("tag alone") << QByteArray("<html>") << true;
    QTest::newRow("tag then binary") << QByteArray("<html>\0\xFF\x01", 9) << true;
    QTest::newRow("capitals") << QByteArray("<HTML><BODY>Not Found") << true;
    QTest::newRow("doctype after blanks") << QByteArray("  <!DOCTYPE html>\n<html>") << true;
    QTest::newRow("doctype with public id")
        << QByteArray("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">") << true;
    QTest::newRow("line breaks and tabs") << QByteArray("\r\n\t<Html>") << true;
    QTest::newRow("byte-order mark and attributes") << bom + "<html lang=en>" << true;
    QTest::newRow("byte-order mark, blank, doctype") << bom + "\n<!doctype html>" << true;

    QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << false;
    QTest::newRow("jpeg") << QByteArray("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11) << false;
    QTest::newRow("xml") << QByteArray("<?xml version=\"1.0\"?><svg/>") << false;
    QTest::newRow("cut tag") << QByteArray("<htm") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("byte-order mark only") << bom << false;
    QTest::newRow("blanks only") << QByteArray(" \n\t ") << false;
    QTest::newRow("tag after text") << QByteArray("hello <html>") << false;
    QTest::newRow("xml doctype") << QByteArray("<!doctype xml>") << false;
    QTest::newRow("bare doctype") << QByteArray("<!DOCTYPE") << false;
    QTest::newRow("blank before byte-order mark") << " " + bom + "<html>" << false;
}

void TestHtmlCheck::isHTMLFile()
{
    QFETCH(QByteArray, data);
    QTEST(html::isHTMLFile(data), "html");
}

QTEST_GUILESS_MAIN(TestHtmlCheck)
#include "tst_htmlcheck.moc"
