#include "app/launchoptions.h"

#include <QBuffer>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The outcome in one line: "<status> <stream>: <text>" for a launch that ends at once, else the
// message handed to the window followed by the other options.
static QString describe(const std::variant<launchoptions::Options, launchoptions::Exit>& parsed)
{
    if (const auto* exit = std::get_if<launchoptions::Exit>(&parsed))
        return u"%1 %2: "_s.arg(exit->status).arg(exit->toStandardError ? "stderr" : "stdout") +
               exit->text;
    const auto& options = std::get<launchoptions::Options>(parsed);
    QString text =
        QString::fromUtf8(launchmessage::encode(options.address).value_or("?\n")).chopped(1);
    if (options.quitWhenDone)
        text += u" quit"_s;
    if (options.log)
        text += u" log"_s;
    if (options.keepGoing)
        text += u" keep-going"_s;
    if (options.output)
        text += u" output="_s + *options.output;
    if (options.list)
        text += u" list(%1)="_s.arg(options.listName) + *options.list;
    if (options.cookiesFromBrowser)
        text += u" cookies-from="_s + *options.cookiesFromBrowser;
    if (options.cookies)
        text += u" cookies="_s + *options.cookies;
    if (!options.warnings.isEmpty())
        text += u" warn="_s + options.warnings.join(QString());
    return text;
}

class TestLaunchOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(u"Stepgrab"_s);
        QCoreApplication::setApplicationVersion(u"9.8"_s);
    }

    // The command line (%d: data/launch, holding the bookmark s.URL, the notes n.url and the
    // list l), what standard input holds, what comes of it ("…" at the end: the text begins so),
    // and whether the launch gets by without a display.
    void parse_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("windowless");
        const QString tryHelp = u"\nTry 'stepgrab --help' for more information.\n"_s;
        const auto row = [](const char* name, const char* arguments, const QString& outcome,
                            bool windowless, const QByteArray& input = {}) {
            QTest::newRow(name) << QString::fromUtf8(arguments) << input << outcome << windowless;
        };
        row("nothing", "", u"raise"_s, false);
        row("typed address, started", "--start http://h/p001.jpg",
            u"typed+start http://h/p001.jpg"_s, false);
        row("bookmark, upper-case name", "%d/s.URL", u"bookmark http://h/d/pic012.jpg"_s, false);
        row("bookmark as a file URL", "--start file://%d/s.URL",
            u"bookmark+start http://h/d/pic012.jpg"_s, false);
        row("a .url that is no bookmark", "--start %d/n.url",
            u"raise warn=stepgrab: %d/n.url is not a bookmark\n"_s, false);
        row("a .url that is no file", "%d/none.url", u"typed %d/none.url"_s, false);
        row("batch", "--quit-when-done --log --output /o http://h/p1.jpg",
            u"typed http://h/p1.jpg quit log output=/o"_s, true);
        row("list from standard input", "--url-list - --log", u"raise log list(-)=a\r\n\r\nb"_s,
            false, "a\r\n\r\nb");
        row("list that goes on after a failure", "--keep-going --url-list -",
            u"raise keep-going list(-)=a"_s, false, "a");
        row("list from a file", "--url-list %d/l",
            u"raise list(%d/l)=http://h/a.jpg\nhttp://h/b.jpg\n"_s, false);
        row("list with --start", "--start --url-list -",
            u"2 stderr: stepgrab: --url-list cannot be combined with --start or ADDRESS"_s +
                tryHelp,
            false);
        row("list with an address", "--url-list - http://h/p1.jpg",
            u"2 stderr: stepgrab: --url-list cannot be combined with --start or ADDRESS"_s +
                tryHelp,
            false);
        row("unreadable list", "--url-list %d/missing",
            u"2 stderr: stepgrab: cannot read %d/missing: No such file or directory\n"_s, false);
        row("two addresses", "http://h/a1.jpg http://h/b1.jpg",
            u"2 stderr: stepgrab: only one ADDRESS can be given"_s + tryHelp, false);
        row("unknown option", "--frob", u"2 stderr: stepgrab: Unknown option 'frob'."_s + tryHelp,
            true);
        row("cookies of a browser and of a file", "--cookies-from-browser chromium --cookies=%d/c",
            u"raise cookies-from=chromium cookies=%d/c"_s, false);
        row("a browser without cookies", "--cookies-from-browser safari",
            u"2 stderr: stepgrab: --cookies-from-browser takes firefox, chromium or default, "
            u"not 'safari'"_s +
                tryHelp,
            false);
        row("help", "--help", u"0 stdout: Usage: …"_s, true);
        row("help with Qt's options", "--log --help-all", u"0 stdout: Usage: …"_s, true);
        row("version", "--version --start", u"0 stdout: Stepgrab 9.8\n"_s, true);
    }
    void parse()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, outcome);
        const QString dir = QFileInfo(QFINDTESTDATA("data/launch/l")).absolutePath();
        arguments.replace(u"%d"_s, dir);
        outcome.replace(u"%d"_s, dir);
        const QStringList split = QStringList{u"stepgrab"_s} + QProcess::splitCommand(arguments);
        QBuffer standardInput(&input);
        QVERIFY(standardInput.open(QIODevice::ReadOnly));
        const QString actual = describe(launchoptions::parse(split, &standardInput));
        if (outcome.endsWith(u'…'))
            QVERIFY2(actual.startsWith(outcome.chopped(1)), qPrintable(actual));
        else
            QCOMPARE(actual, outcome);
        QByteArrayList raw;
        for (const QString& argument : split)
            raw += argument.toLocal8Bit();
        QTEST(launchoptions::needsNoWindow(raw), "windowless");
    }
};

QTEST_GUILESS_MAIN(TestLaunchOptions)
#include "tst_launchoptions.moc"
