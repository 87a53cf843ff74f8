#include "download/pagecheck.h"

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
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("pageRule");
        QTest::addColumn<bool>("page");
        const auto row = [](const char* name, const char* file, const char* fetchedAs,
                            bool pageRule, Verdict verdict) {
            QTest::newRow(name) << QString::fromLatin1(file) << QString::fromLatin1(fetchedAs)
                                << pageRule << (verdict == Verdict::Page);
        };
        constexpr Verdict Page = Verdict::Page, File = Verdict::File;

        // Error pages in a count-up run, and as the first file where only rule 2 can tell.
        row("nginx 404", "nginx-404.html", "pic013.jpg", true, Page);
        row("nginx 404, first file", "nginx-404.html", "pic012.jpg", false, Page);
        row("apache 404", "apache-404.html", "pic013.jpg", true, Page);
        row("lighttpd 404 (XHTML)", "lighttpd-404.html", "pic013.jpg", true, Page);
        row("lighttpd 404, first file", "lighttpd-404.html", "pic012.jpg", false, Page);
        row("UTF-16 LE, first file", "utf16le.html", "pic012.jpg", false, Page);
        row("JSON error", "404.json", "pic013.jpg", true, Page);
        row("plain text 404, first file", "404.txt", "pic012.jpg", false, Page);

        // A name that says nothing of its kind leaves only rule 1, so these show what it sees.
        row("no extension, first file", "nginx-404.html", "photo012", false, File);
        row("unknown extension, first file", "nginx-404.html", "x012.dat", false, File);
        row("unknown extension, in a run", "apache-404.html", "x013.dat", true, Page);
        row("XHTML after a UTF-8 mark", "xhtml-bom.html", "photo013", true, Page);
        row("comment first", "comment-first.html", "photo013", true, Page);
        row("UTF-16 LE", "utf16le.html", "photo013", true, Page);
        row("UTF-16 BE", "utf16be.html", "photo013", true, Page);
        row("600 blanks first", "blanks-600.html", "photo013", true, Page);
        row("head first", "head-first.html", "photo013", true, Page);
        row("body first", "body-first.html", "photo013", true, Page);
        row("plain text is no page by rule 1", "404.txt", "photo013", true, File);

        // Real files under their own kind of name.
        row("JPEG", "pic.jpg", "pic013.jpg", true, File);
        row("JPEG, first file without number", "pic.jpg", "pic.jpg", false, File);
        row("PNG", "pic.png", "pic013.png", true, File);
        row("PNG, first file", "pic.png", "pic012.png", false, File);
        row("PNG named as a JPEG", "pic.png", "pic013.jpg", true, File);
        row("GIF", "pic.gif", "pic013.gif", true, File);
        row("GIF, first file", "pic.gif", "pic012.gif", false, File);
        row("WebP", "pic.webp", "pic013.webp", true, File);
        row("WebP, first file", "pic.webp", "pic012.webp", false, File);
        row("MP4", "clip.mp4", "clip013.mp4", true, File);
        row("MP4, first file", "clip.mp4", "clip012.mp4", false, File);
        row("ZIP", "archive.zip", "part013.zip", true, File);
        row("ZIP, first file", "archive.zip", "part012.zip", false, File);
        row("PDF", "doc.pdf", "doc013.pdf", true, File);
        row("PDF, first file", "doc.pdf", "doc012.pdf", false, File);

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
