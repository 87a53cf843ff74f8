#include "linksearch/linkscan.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTest>

using linksearch::Kind;

class TestLinkScan : public QObject
{
    Q_OBJECT

private:
    static QByteArray page(const char* name)
    {
        QFile file(QFINDTESTDATA(QStringLiteral("data/linksearch/") + QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void scanLinks_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QStringList>("links");

        QTest::newRow("apache-autoindex")
            << page("apache-autoindex.html") << QByteArray("text/html;charset=UTF-8")
            << QStringList{"?C=N;O=D",   "?C=M;O=A",   "?C=S;O=A",        "?C=D;O=A",
                           "/pub/",      "old/",       "R&D%20notes.zip", "stepgrab-0.1.tar.gz",
                           "pic001.jpg", "pic002.jpg", "trailer.webm"};
        QTest::newRow("nginx-autoindex")
            << page("nginx-autoindex.html") << QByteArray("text/html")
            << QStringList{"../",       "docs/",    "movie%20clip.mp4", "%E5%86%99%E7%9C%9F001.jpg",
                           "backup.7z", "a%26b.tgz"};
        QTest::newRow("gallery") << page("gallery.html") << QByteArray()
                                 << QStringList{
                                        "/",
                                        "/albums/",
                                        "photos/IMG_0001.JPG",
                                        "photos/IMG_0002.JPG",
                                        "https://cdn.example.org/photos/IMG_0003.avif?w=2048&q=85",
                                        "clips/harbour.mp4",
                                        "photos/all.zip",
                                        "#top"};
        QTest::newRow("hard-cases") << page("hardcases.html") << QByteArray()
                                    << QStringList{"first.html",
                                                   "x.zip",
                                                   "x.zip",
                                                   "x.zip",
                                                   "page2.html",
                                                   "b.gif",
                                                   "pics/a.JPG",
                                                   u"list.php?a=1&b=2&c=3\"''<>\u00A0end"_qs,
                                                   "q?x=1&copy=2&amp=3&bogus;&#;&#xZZ;",
                                                   "real.zip?dl=1",
                                                   "",
                                                   "spaced.rar",
                                                   "one.png",
                                                   "commented.zip",
                                                   "scripted.mp4",
                                                   "x.zip"};
        QTest::newRow("shift-jis-meta")
            << page("shiftjis.html") << QByteArray("text/html")
            << QStringList{u"画像/写真01.jpg"_qs, u"画像/写真02.jpg"_qs, u"動画/表示テスト.mpg"_qs,
                           u"ソフト/能力.lzh"_qs};
        QTest::newRow("euc-jp-header-only")
            << page("eucjp-header-only.html") << QByteArray("text/html; charset=\"euc-jp\"")
            << QStringList{u"資料/概要.pdf"_qs, u"アーカイブ/全部.zip"_qs};
        QStringEncoder utf16(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
        QTest::newRow("utf-16-bom") << QByteArray(utf16(u"<p>\u30EB</p><a href=\"\u30EB.zip\">"))
                                    << QByteArray() << QStringList{u"\u30EB.zip"_qs};
        QTest::newRow("quote-runs-to-the-next-quote")
            << QByteArray("<a href=\"a.zip\"><a href=\"b.zip>c</a> <a href=\"d.zip\">")
            << QByteArray() << QStringList{"a.zip", "b.zip>c</a> <a href="};
        QTest::newRow("unterminated-quote-at-the-end")
            << QByteArray("<a href=\"a.zip\"><a href=\"b.zip>") << QByteArray()
            << QStringList{"a.zip"};
        QTest::newRow("tag-cut-by-the-end")
            << QByteArray("<a href=x.zip") << QByteArray() << QStringList{};
        QTest::newRow("no-anchors")
            << QByteArray("<abbr>a</abbr><area href=x.zip><a>") << QByteArray() << QStringList{};
    }

    void scanLinks()
    {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(QStringList, links);
        QVERIFY(!page.isEmpty());
        QCOMPARE(linksearch::scanLinks(page, linksearch::pageCharset(page, contentType)), links);
    }

    void quoteMarkClosesTheValue()
    {
        QCOMPARE(linksearch::scanLinks("<a href=\"a.zip#\" title=\"#\">", "UTF-8", u'#'),
                 QStringList{"a.zip"});
    }

    // A quadratic scan would take minutes on these; a linear one a few milliseconds.
    void boundedOnPathologicalPages_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<int>("links");
        QTest::newRow("open-anchors") << QByteArray(4 << 20, 'x').replace("xxx", "<a ") << 0;
        QTest::newRow("unterminated-quote")
            << QByteArray("<a href=\"") + QByteArray(4 << 20, 'x').replace("xxxx", "<a >") << 0;
        QTest::newRow("many-anchors") << QByteArray("<a href=x>").repeated(400000) << 400000;
        QTest::newRow("references")
            << QByteArray("<a href=\"") + QByteArray("&#").repeated(1 << 20) + "\">" << 1;
    }

    void boundedOnPathologicalPages()
    {
        QFETCH(QByteArray, page);
        QFETCH(int, links);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(linksearch::scanLinks(page, linksearch::pageCharset(page)).size(), links);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    }

    void pageCharset_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("charset");
        const QByteArray latin1("<p>caf\xE9</p>");
        const QByteArray metaSjis("<meta charset=\"x-sjis\">");
        QTest::newRow("utf-8-bom")
            << QByteArray("\xEF\xBB\xBF\xE9") << QByteArray("text/html; charset=EUC-JP")
            << QByteArray("UTF-8");
        QTest::newRow("utf-16be-bom")
            << QByteArray("\xFE\xFF\0<", 4) << QByteArray() << QByteArray("UTF-16BE");
        QTest::newRow("header-quoted") << latin1 << QByteArray("text/html; Charset=\"Windows-31J\"")
                                       << QByteArray("Shift_JIS");
        QTest::newRow("header-before-meta")
            << metaSjis << QByteArray("text/html;charset=euc-jp;x=1") << QByteArray("EUC-JP");
        QTest::newRow("header-unknown-then-meta")
            << metaSjis << QByteArray("text/html; charset=klingon") << QByteArray("Shift_JIS");
        QTest::newRow("meta-http-equiv")
            << QByteArray("<META HTTP-EQUIV='content-type' CONTENT='text/html; charset=euc-jp'>")
            << QByteArray() << QByteArray("EUC-JP");
        QTest::newRow("meta-other-charset") << QByteArray("<meta charset=windows-1251>")
                                            << QByteArray() << QByteArray("windows-1251");
        QTest::newRow("meta-utf-16-is-utf-8")
            << QByteArray("<meta charset=utf-16>") + latin1 << QByteArray() << QByteArray("UTF-8");
        QTest::newRow("meta-in-comment") << QByteArray("<!-- <meta charset=euc-jp> -->") + latin1
                                         << QByteArray() << QByteArray("ISO-8859-1");
        QTest::newRow("meta-past-8-KiB")
            << QByteArray(8192, ' ') + metaSjis << QByteArray() << QByteArray("UTF-8");
        QTest::newRow("unknown-falls-back") << QByteArray("<meta charset=klingon>") + latin1
                                            << QByteArray() << QByteArray("ISO-8859-1");
        QTest::newRow("valid-utf-8") << QByteArray("<p>caf\xC3\xA9 \xF0\x9F\x93\xB7</p>")
                                     << QByteArray() << QByteArray("UTF-8");
        QTest::newRow("utf-8-cut-at-end")
            << QByteArray("<p>\xE5\x86") << QByteArray() << QByteArray("ISO-8859-1");
        QTest::newRow("utf-8-surrogate")
            << QByteArray("\xED\xA0\x80") << QByteArray() << QByteArray("ISO-8859-1");
        QTest::newRow("utf-8-overlong")
            << QByteArray("\xC0\xAF") << QByteArray() << QByteArray("ISO-8859-1");
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
        QTest::newRow("archive-query") << "x.zip?dl=1" << Kind::Archive << true;
        QTest::newRow("archive-fragment") << "dir/a.TAR.XZ#part" << Kind::Archive << true;
        QTest::newRow("archive-lzh") << "http://h/a/b.lzh" << Kind::Archive << true;
        QTest::newRow("archive-dot-in-query") << "get.php?f=a.zip" << Kind::Archive << false;
        QTest::newRow("archive-host-only") << "http://files.zip" << Kind::Archive << false;
        QTest::newRow("archive-trailing-slash") << "pub/old.zip/" << Kind::Archive << false;
        QTest::newRow("movie-webm") << "clips/a.webm" << Kind::Movie << true;
        QTest::newRow("movie-rm") << "a.RM" << Kind::Movie << true;
        QTest::newRow("movie-not-image") << "a.gif" << Kind::Movie << false;
        QTest::newRow("image-jpeg") << "pics/a.JPG" << Kind::Image << true;
        QTest::newRow("image-avif") << "a.avif?w=1" << Kind::Image << true;
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
        QTest::newRow("page-in-folders") << "http://host/a/b/page.html"
                                         << "http://host/a/b";
        QTest::newRow("https") << "https://host/a/page.html"
                               << "https://host/a";
        QTest::newRow("dotted-folder-slash") << "http://host/rel1.2/"
                                             << "http://host";
        QTest::newRow("double-slashes") << "http://host//a//b.html"
                                        << "http://host/a";
        QTest::newRow("bare-host") << "http://abc.lan"
                                   << "http://abc.lan";
        QTest::newRow("bare-host-slash") << "http://abc.lan/"
                                         << "http://abc.lan";
    }

    void baseAddress()
    {
        QFETCH(QString, page);
        QFETCH(QString, base);
        QCOMPARE(linksearch::baseAddress(page), base);
    }
};

QTEST_GUILESS_MAIN(TestLinkScan)
#include "tst_linkscan.moc"
