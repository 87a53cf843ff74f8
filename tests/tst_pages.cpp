#include "download/pagecheck.h"
#include "support/table.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;
using pages::Verdict;

// Real bodies (tests/data/pages/README says where each came from), judged under the name
// they would be fetched as.
class TestPages : public QObject
{
    Q_OBJECT
private slots:
    void judge_data()
    {
        columns<QString, QString, bool, bool>("file", "name", "pageRule", "page");
        const auto row = [](const char* name, const char* file, const char* fetchedAs,
                            bool pageRule, Verdict verdict) {
            QTest::newRow(name) << QString::fromLatin1(file) << QString::fromLatin1(fetchedAs)
                                << pageRule << (verdict == Verdict::Page);
        };
        constexpr Verdict Page = Verdict::Page, File = Verdict::File;

        // Error pages in a count-up run, and as the first file (012) where only rule 2 can tell.
        row("nginx 404", "nginx-404.html", "pic013.jpg", true, Page);
        row("nginx 404, first file", "nginx-404.html", "pic012.jpg", false, Page);
        row("apache 404", "apache-404.html", "pic013.jpg", true, Page);
        row("lighttpd 404 (XHTML)", "lighttpd-404.html", "pic013.jpg", true, Page);
        row("UTF-16 LE, first file", "utf16le.html", "pic012.jpg", false, Page);
        row("JSON error", "404.json", "pic013.jpg", true, Page);
        row("plain text 404, first file", "404.txt", "pic012.jpg", false, Page);

        // A name that says nothing of its kind leaves only rule 1, so these show what it sees.
        row("no extension, first file", "nginx-404.html", "photo012", false, File);
        row("XHTML after a UTF-8 mark", "xhtml-bom.html", "photo013", true, Page);
        row("comment first", "comment-first.html", "photo013", true, Page);
        row("UTF-16 LE", "utf16le.html", "photo013", true, Page);
        row("UTF-16 BE", "utf16be.html", "photo013", true, Page);
        row("600 blanks first", "blanks-600.html", "photo013", true, Page);
        row("head first", "head-first.html", "photo013", true, Page);
        row("body first", "body-first.html", "photo013", true, Page);
        row("plain text is no page by rule 1", "404.txt", "photo013", true, File);

        // Real files under their own kind of name; both rules pass them, the first file's too.
        row("JPEG", "pic.jpg", "pic013.jpg", true, File);
        row("PNG named as a JPEG", "pic.png", "pic013.jpg", true, File);
        row("PDF", "doc.pdf", "doc013.pdf", true, File);

        // Text kinds are what was asked for, markup and all.
        row("SVG with an XML declaration", "drawing.svg", "icon013.svg", true, File);
        row("text file", "chapter.txt", "chapter013.txt", true, File);
        row("HTML page in a .php series", "gallery-page.html", "page002.php", true, File);
    }
    void judge()
    {
        QFETCH(QString, file);
        QFETCH(QString, name);
        QFETCH(bool, pageRule);
        const QString path = QFINDTESTDATA(u"data/pages/"_s + file);
        QFile body(path);
        QVERIFY2(body.open(QIODevice::ReadOnly), qPrintable(file));
        const Verdict verdict = pages::judge(name, body.readAll(), pageRule);
        QTEST(verdict == Verdict::Page, "page");
    }
};

QTEST_GUILESS_MAIN(TestPages)
#include "tst_pages.moc"
