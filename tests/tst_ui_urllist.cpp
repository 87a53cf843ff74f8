#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

// A served body: its key, line after line, so that a file shows whose bytes it holds.
static QByteArray body(const QString& key)
{
    return (key + u'\n').toUtf8().repeated(2000);
}

// Every file below dir as "path=key of the body it holds" or "path=corrupt", sorted; dated
// folders as <dated>.
static QStringList filesBelow(const QString& dir)
{
    static const QRegularExpression dated(u"^\\d{4}(-\\d\\d){2} \\d\\d(:\\d\\d){2} [+-]\\d{4}/"_s);
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly); // an unreadable file shows as corrupt
        const QByteArray bytes = file.readAll();
        const QString key = QString::fromUtf8(bytes.left(bytes.indexOf('\n')));
        out << QDir(dir).relativeFilePath(file.fileName()).replace(dated, u"<dated>/"_s) + u'=' +
                   (bytes == body(key) ? key : u"corrupt"_s);
    }
    out.sort();
    return out;
}

class TestUrlList : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("list");      // @: the server
        QTest::addColumn<QString>("setup");     // new-folder, home (empty output folder), stop
        QTest::addColumn<QString>("log");       // between StartedDownload and FinishedDownload
        QTest::addColumn<QStringList>("files"); // path=key of the body served
        QTest::addColumn<QString>("unfetched"); // a path the run must not ask for
        auto row = [](const char* name, const QString& list, const QString& setup,
                      const QString& log, const QStringList& files, const QString& unfetched) {
            QTest::newRow(name) << list << setup << log << files << unfetched;
        };
        const QString a = u"DownloadComleted a.jpg\n"_s;
        row("CR LF, blank lines, a final line end, a page",
            "@/d/a.jpg\r\n\r\n \t@/d/b.png \r\n@/d/p.html\r\n", "",
            a + u"DownloadComleted b.png\nDownloadComleted p.html\n"_s,
            {"a.jpg=d/a.jpg", "b.png=d/b.png", "p.html=d/p.html"}, "");
        row("404 in the middle", "@/d/a.jpg\n@/d/gone.jpg\n@/d/b.png", "",
            a + u"FailureDownload gone.jpg: ReasonMissing 404\n"_s, {"a.jpg=d/a.jpg"}, "/d/b.png");
        row("404, then Stop in the pause: the failure ended the run",
            "@/d/a.jpg\n@/d/gone.jpg\n@/d/b.png", "halt",
            a + u"FailureDownload gone.jpg: ReasonMissing 404\n"_s, {"a.jpg=d/a.jpg"}, "/d/b.png");
        row("name that leaves the folder", "@/d/a.jpg\n@/d/%2E%2E\n@/d/b.png", "",
            a + u"FailureDownload ..: ReasonNameUnsafe\n"_s, {"a.jpg=d/a.jpg"}, "/d/b.png");
        row("same names numbered", "@/d/a.jpg\n@/e/a.jpg?id=2\n@/d/a.jpg", "",
            a + u"RenamedDownload a.jpg a (2).jpg\nDownloadComleted a (2).jpg\n"
                u"RenamedDownload a.jpg a (3).jpg\nDownloadComleted a (3).jpg\n"_s,
            {"a (2).jpg=e/a.jpg", "a (3).jpg=d/a.jpg", "a.jpg=d/a.jpg"}, "");
        row("into a new dated folder in the home folder, the output folder empty",
            "@/d/a.jpg\n@/d/b.png", "new-folder home",
            u"CreateNewFolder"_s + a + u"DownloadComleted b.png\n"_s,
            {"<dated>/a.jpg=d/a.jpg", "<dated>/b.png=d/b.png"}, "");
        row("stop during a fetch", "@/d/a.jpg\n@/d/slow.jpg\n@/d/b.png", "stop", a,
            {"a.jpg=d/a.jpg"}, "/d/b.png");
    }
    void runs()
    {
        QFETCH(QString, list);
        QFETCH(QString, setup);
        QFETCH(QString, log);
        QFETCH(QStringList, files);
        QFETCH(QString, unfetched);
        FixtureServer server;
        for (const char* path : {"d/a.jpg", "d/b.png", "e/a.jpg"})
            server.addFile(u'/' + QString::fromLatin1(path), body(QString::fromLatin1(path)));
        server.addFile(u"/d/p.html"_s, body(u"d/p.html"_s), 200, "text/html");
        server.addDelayed(u"/d/slow.jpg"_s, body(u"d/slow.jpg"_s), 1000);
        QTemporaryDir out;
        const QByteArray home = qgetenv("HOME");
        if (setup.contains(u"home"))
            qputenv("HOME", out.path().toLocal8Bit());
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });
        Window w;
        Controller& c = w.controller;
        c.mOutputDirectory = setup.contains(u"home") ? QString() : out.path();
        c.mCreateNewFolder = setup.contains(u"new-folder");
        const int pause = setup.contains(u"halt") ? 1000 : 150;
        DownloadWorker::setPause(pause);
        QSignalSpy ends(&c, &Controller::downloadFinished);
        auto text = [&](auto n, const char* p = "text") {
            return w.get<QWidget>(n)->property(p).toString();
        };
        c.mainWindow()->findChild<QTextEdit*>()->setPlainText(list.replace(u'@', server.baseUrl()));
        QElapsedTimer took;
        took.start();
        c.downloadText();
        if (setup.contains(u"stop"))
            QTRY_COMPARE(server.hits(u"/d/slow.jpg"_s), 1);
        if (setup.contains(u"halt"))
            QTRY_VERIFY(text(u"mDrawer_Text"_s, "plainText").contains(u"FailureDownload"));
        if (setup.contains(u"stop") || setup.contains(u"halt"))
            QTest::mouseClick(w.get<QWidget>(u"mStopButton"_s), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        const qint64 ran = took.elapsed();
        // A worker that should be over would show now.
        QTest::qWait(2 * pause);
        QCOMPARE(text(u"mDrawer_Text"_s, "plainText"),
                 u"StartedDownload"_s + log + u"\nFinishedDownload"_s);
        const bool failed = log.contains(u"FailureDownload");
        QCOMPARE(ends.size(), 1);
        QCOMPARE(ends.first().first().toBool(), failed);
        QCOMPARE(text(u"mCounter"_s), QString::number(log.count(u"DownloadComleted")));
        QCOMPARE(filesBelow(out.path()), files);
        if (!unfetched.isEmpty())
            QCOMPARE(server.hits(unfetched), 0);
        // A pause after every address, the failed one too, but none after a Stop.
        if (!setup.contains(u"stop") && !setup.contains(u"halt"))
            QVERIFY2(ran >= (log.count(u"DownloadComleted") + failed) * pause,
                     qPrintable(QString::number(ran)));
        QCOMPARE(text(u"mLocation"_s, "readOnly") + text(u"mStopButton"_s, "enabled"),
                 u"falsefalse"_s);
    }
};

QTEST_MAIN(TestUrlList)
#include "tst_ui_urllist.moc"
