#include "linksearch/linkscan.h"
#include "support/table.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

class TestLinkScan : public QObject
{
    Q_OBJECT

private slots:
    // The charset a page is read in, where named; its links by count and the few that matter.
    void scanLinks_data()
    {
        columns<QByteArray, QByteArray, int, QList<int>, QStringList, QChar, QByteArray>(
            "page", "contentType", "count", "at", "links", "quote", "charset");
        const auto row = [](const char* name, const QByteArray& page, const char* contentType,
                            const char* charset, const QStringList& links, int count = -1,
                            const QList<int>& at = {}, QChar quote = u'"') {
            QTest::newRow(name) << page << QByteArray(contentType)
                                << (at.isEmpty() ? int(links.size()) : count) << at << links
                                << quote << QByteArray(charset);
        };
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(QStringLiteral("data/linksearch/") + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        row("apache-autoindex", data("apache-autoindex.html"), "text/html;charset=UTF-8", "UTF-8",
            {"?C=N;O=D", "R&D%20notes.zip", "trailer.webm"}, 11, {0, 6, 10});
        row("hard-cases", data("hardcases.html"), "", "",
            {u"list.php?a=1&b=2&c=3\"''<>\u00A0end"_qs, "q?x=1&copy=2&amp=3&bogus;&#;&#xZZ;", "",
             "commented.zip", "x.zip"},
            16, {7, 8, 10, 13, 15});
        row("shift-jis-meta", data("shiftjis.html"), "text/html", "Shift_JIS",
            {u"画像/写真01.jpg"_qs, u"画像/写真02.jpg"_qs, u"動画/表示テスト.mpg"_qs,
             u"ソフト/能力.lzh"_qs});
        row("own quote mark", "<a href=\"a.zip#\" title=\"#\">", "", "", {"a.zip"}, -1, {}, u'#');
        // A quadratic scan would take minutes on this; a linear one a few milliseconds.
        row("linear", "<a href=\"" + QByteArray(4 << 20, 'x').replace("xxxx", "<a >"), "", "", {});
        const QByteArray metaSjis("<meta charset=\"x-sjis\">");
        row("header-before-meta", metaSjis, "text/html;charset=euc-jp;x=1", "EUC-JP", {});
        row("meta-past-8-KiB", QByteArray(8192, ' ') + metaSjis, "", "UTF-8", {});
    }
    void scanLinks()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(QList<int>, at);
        QFETCH(QChar, quote);
        QFETCH(QByteArray, charset);
        const QDeadlineTimer linear(10000);
        const QByteArray read = linksearch::pageCharset(page, contentType);
        const QStringList found = linksearch::scanLinks(page, read, quote);
        QVERIFY(!linear.hasExpired());
        if (!charset.isEmpty())
            QCOMPARE(read, charset);
        QStringList picked = at.isEmpty() ? found : QStringList();
        for (int i : at)
            picked << found.value(i, "(none)");
        QTEST(int(found.size()), "count");
        QTEST(picked, "links");
    }
    // The base address of a page, and what the Entrance sheet opens for one of its links.
    void addresses_data()
    {
        columns<QString, QString, QString, QString>("page", "base", "link", "opened");
        const auto row = [](const char* name, const char* page, const char* base, const char* link,
                            const char* opened) {
            QTest::newRow(name) << page << base << link << opened;
        };
        row("query only", "https://host/a/b/page.html", "https://host/a/b", "?p=2",
            "https://host/a/b/page.html?p=2");
        row("javascript", "http://abc.lan", "http://abc.lan", "javascript:alert(1)", "");
    }
    void addresses()
    {
        QFETCH(QString, page);
        QFETCH(QString, link);
        QTEST(linksearch::baseAddress(page), "base");
        QTEST(linksearch::resolveLink(page, link).toString(), "opened");
    }
};

QTEST_GUILESS_MAIN(TestLinkScan)
#include "tst_linkscan.moc"
