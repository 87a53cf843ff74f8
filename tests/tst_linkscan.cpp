#include "linksearch/linkscan.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTest>

using linksearch::Kind;

class TestLinkScan : public QObject
{
    Q_OBJECT

private slots:
    // Long listings are checked by their count and the links at a few places: the first, the
    // one that proves the point, the last.
    void scanLinks_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("at");
        QTest::addColumn<QStringList>("links");
        const auto row = [](const char* name, const QByteArray& page, const char* contentType,
                            const QStringList& links, int count = -1, const QList<int>& at = {}) {
            QTest::newRow(name) << page << QByteArray(contentType)
                                << (at.isEmpty() ? int(links.size()) : count) << at << links;
        };
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(QStringLiteral("data/linksearch/") + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        row("apache-autoindex", data("apache-autoindex.html"), "text/html;charset=UTF-8",
            {"?C=N;O=D", "/pub/", "R&D%20notes.zip", "trailer.webm"}, 11, {0, 4, 6, 10});
        row("nginx-autoindex", data("nginx-autoindex.html"), "text/html",
            {"../", "%E5%86%99%E7%9C%9F001.jpg", "a%26b.tgz"}, 6, {0, 3, 5});
        row("gallery", data("gallery.html"), "",
            {"/", "photos/IMG_0001.JPG", "https://cdn.example.org/photos/IMG_0003.avif?w=2048&q=85",
             "#top"},
            8, {0, 2, 4, 7});
        row("hard-cases", data("hardcases.html"), "",
            {"first.html", "x.zip", "x.zip", "x.zip", "page2.html", "b.gif", "pics/a.JPG",
             u"list.php?a=1&b=2&c=3\"''<>\u00A0end"_qs, "q?x=1&copy=2&amp=3&bogus;&#;&#xZZ;",
             "real.zip?dl=1", "", "spaced.rar", "one.png", "commented.zip", "scripted.mp4",
             "x.zip"});
        row("shift-jis-meta", data("shiftjis.html"), "text/html",
            {u"画像/写真01.jpg"_qs, u"画像/写真02.jpg"_qs, u"動画/表示テスト.mpg"_qs,
             u"ソフト/能力.lzh"_qs});
        row("euc-jp-header-only", data("eucjp-header-only.html"), "text/html; charset=\"euc-jp\"",
            {u"資料/概要.pdf"_qs, u"アーカイブ/全部.zip"_qs});
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        row("utf-16-bom", utf16(u"<p>\u30EB</p><a href=\"\u30EB.zip\">"), "", {u"\u30EB.zip"_qs});
        row("quote-runs-to-the-next-quote",
            "<a href=\"a.zip\"><a href=\"b.zip>c</a> <a href=\"d.zip\">", "",
            {"a.zip", "b.zip>c</a> <a href="});
        row("unterminated-quote-at-the-end", "<a href=\"a.zip\"><a href=\"b.zip>", "", {"a.zip"});
        row("tag-cut-by-the-end", "<a href=x.zip", "", {});
    }

    void scanLinks()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(int, count);
        QFETCH(QList<int>, at);
        QFETCH(QStringList, links);
        QVERIFY(!page.isEmpty());
        const QStringList found =
            linksearch::scanLinks(page, linksearch::pageCharset(page, contentType));
        QStringList picked = at.isEmpty() ? found : QStringList();
        for (int i : at)
            picked << found.value(i, "(none)");
        QCOMPARE(found.size(), count);
        QCOMPARE(picked, links);
    }

    void quoteMarkClosesTheValue()
    {
        QCOMPARE(linksearch::scanLinks("<a href=\"a.zip#\" title=\"#\">", "UTF-8", u'#'),
                 QStringList{"a.zip"});
    }

    // A quadratic scan would take minutes on this; a linear one a few milliseconds.
    void boundedOnPathologicalPage()
    {
        const QByteArray page =
            QByteArray("<a href=\"") + QByteArray(4 << 20, 'x').replace("xxxx", "<a >");
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(linksearch::scanLinks(page, linksearch::pageCharset(page)), QStringList{});
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    void pageCharset_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("charset");
        const auto row = [](const char* name, const QByteArray& page, const char* contentType,
                            const char* charset) {
            QTest::newRow(name) << page << QByteArray(contentType) << QByteArray(charset);
        };
        const QByteArray latin1("<p>caf\xE9</p>");
        const QByteArray metaSjis("<meta charset=\"x-sjis\">");
        row("bom-before-header", "\xEF\xBB\xBF\xE9", "text/html; charset=EUC-JP", "UTF-8");
        row("header-quoted-alias", latin1, "text/html; Charset=\"Windows-31J\"", "Shift_JIS");
        row("header-before-meta", metaSjis, "text/html;charset=euc-jp;x=1", "EUC-JP");
        row("header-unknown-then-meta", metaSjis, "text/html; charset=klingon", "Shift_JIS");
        row("meta-http-equiv",
            "<META HTTP-EQUIV='content-type' CONTENT='text/html; charset=euc-jp'>", "", "EUC-JP");
        row("meta-utf-16-is-utf-8", "<meta charset=utf-16>" + latin1, "", "UTF-8");
        row("meta-in-comment", "<!-- <meta charset=euc-jp> -->" + latin1, "", "ISO-8859-1");
        row("meta-past-8-KiB", QByteArray(8192, ' ') + metaSjis, "", "UTF-8");
        row("unknown-falls-back", "<meta charset=klingon>" + latin1, "", "ISO-8859-1");
        row("valid-utf-8", "<p>caf\xC3\xA9 \xF0\x9F\x93\xB7</p>", "", "UTF-8");
        row("utf-8-overlong", "\xC0\xAF", "", "ISO-8859-1");
    }

    void pageCharset()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, charset);
        QCOMPARE(linksearch::pageCharset(page, contentType), charset);
    }

    void isOfKind_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<bool>("is");
        QTest::newRow("all-takes-anything") << "" << Kind::All << true;
        QTest::newRow("archive-fragment") << "dir/a.TAR.XZ#part" << Kind::Archive << true;
        QTest::newRow("archive-dot-in-query") << "get.php?f=a.zip" << Kind::Archive << false;
        QTest::newRow("archive-host-only") << "http://files.zip" << Kind::Archive << false;
        QTest::newRow("archive-trailing-slash") << "pub/old.zip/" << Kind::Archive << false;
        QTest::newRow("movie-rm") << "a.RM" << Kind::Movie << true;
        QTest::newRow("movie-not-image") << "a.gif" << Kind::Movie << false;
        QTest::newRow("image-avif-query") << "a.avif?w=1" << Kind::Image << true;
        QTest::newRow("image-no-dot") << "images/jpg" << Kind::Image << false;
        QTest::newRow("image-cut-quote-text") << "b.gif' target='x" << Kind::Image << false;
    }

    void isOfKind()
    {
        QFETCH(QString, link);
        QFETCH(Kind, kind);
        QFETCH(bool, is);
        QCOMPARE(linksearch::isOfKind(link, kind), is);
    }

    void baseAddress_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("base");
        const auto row = [](const char* name, const char* page, const char* base) {
            QTest::newRow(name) << QString::fromLatin1(page) << QString::fromLatin1(base);
        };
        row("page-in-folders", "https://host/a/b/page.html", "https://host/a/b");
        row("dotted-folder-slash", "http://host/rel1.2/", "http://host");
        row("double-slashes", "http://host//a//b.html", "http://host/a");
        row("bare-host", "http://abc.lan", "http://abc.lan");
        row("bare-host-slash", "http://abc.lan/", "http://abc.lan");
    }

    void baseAddress()
    {
        QFETCH(QString, page);
        QFETCH(QString, base);
        QCOMPARE(linksearch::baseAddress(page), base);
    }

    // What the Entrance sheet opens for a link of http://host/dir/page.html.
    void resolveLink_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("opened");
        const auto row = [](const char* name, const char* link, const char* opened,
                            const char* page = "http://host/dir/page.html") {
            QTest::newRow(name) << QString::fromLatin1(page) << QString::fromUtf8(link)
                                << QString::fromUtf8(opened);
        };
        row("simple relative", "b/c.html", "http://host/dir/b/c.html");
        row("root-relative", "/top.html", "http://host/top.html");
        row("dot segments", "../up.html", "http://host/up.html");
        row("query only", "?page=2", "http://host/dir/page.html?page=2");
        row("fragment only", "#top", "http://host/dir/page.html#top");
        row("other host, https", "https://host2/x", "https://host2/x");
        row("capital scheme", "HTTP://HOST2/X", "http://host2/X");
        row("holds http:// in its query", "/go?to=http://host2/",
            "http://host/go?to=http://host2/");
        row("page address ends with /", "b.html", "http://host/dir/b.html", "http://host/dir/");
        row("javascript", "javascript:alert(1)", "");
        row("file", "file:///etc/passwd", "");
        row("data", "data:text/html,x", "");
    }
    void resolveLink()
    {
        QFETCH(QString, page);
        QFETCH(QString, link);
        QTEST(linksearch::resolveLink(page, link).toString(), "opened");
    }
};

QTEST_GUILESS_MAIN(TestLinkScan)
#include "tst_linkscan.moc"
