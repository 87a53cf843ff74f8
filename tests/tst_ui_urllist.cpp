#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/permissions.h"
#include "support/qt.h"
#include "support/window.h"

#include <optional>

using namespace Qt::StringLiterals;

// A served body: its key, line after line, so that a file shows whose bytes it holds; each line
// begins with a NUL, so that the body is binary, as a picture's bytes are.
static const auto body = [](const QString& key) {
    return (QByteArray(1, '\0') + key.toUtf8() + '\n').repeated(2000);
};
// Every file in dir, sorted, as "name=key of the body it holds" or "name=corrupt".
static QStringList filesIn(const QDir& dir)
{
    QStringList out;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile file(dir.filePath(name));
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QString key = QString::fromUtf8(bytes.left(bytes.indexOf('\n')).mid(1));
        out << name + u'=' + (bytes == body(key) ? key : u"corrupt"_s);
    }
    return out;
}
class TestUrlList : public QObject
{
    Q_OBJECT
private slots:
    // The clipboard (HTML, else plain text) shown; OK lists trimmed lines or alerts.
    void sheet_data()
    {
        QTest::addColumn<QStringList>("clip"); // HTML, plain text; neither: an image
        QTest::addColumn<QString>("shown");    // none: the plain text
        QTest::addColumn<QStringList>("list"); // none: Cancel, "alert": OK alerts; @: the server
        QTest::addColumn<bool>("goOn");        // the box as last set; the user flips it
        const auto row = [](const char* name, const QString& html, const QString& plain,
                            const QString& shown, const QStringList& list, bool goOn) {
            QTest::newRow(name) << QStringList{html, plain} << shown << list << goOn;
        };
        row("HTML preferred: links, markup and pictures as their text; Cancel keeps the box",
            uR"(<p><a href="http://h/x.jpg"><b>http://h/a.jpg</b></a><img src="t.png"><br>)"
            uR"(http://h/b.png</p><ul><li><i>http://h/c.gif</i></li></ul>)"_s,
            u"http://h/plain.jpg"_s, u"http://h/a.jpg\nhttp://h/b.png\nhttp://h/c.gif"_s, {}, true);
        row("plain text as it is; OK keeps the box off", {}, u"  @/d/a.jpg \n\n\t@/d/b.png\n"_s, {},
            {u"@/d/a.jpg"_s, u"@/d/b.png"_s}, true);
        row("an image only; OK keeps the box on", {}, {}, {}, {u"alert"_s}, false);
    }
    void sheet()
    {
        QFETCH(QStringList, clip);
        QFETCH(QStringList, list);
        QFETCH(QString, shown);
        FixtureServer server;
        for (const char* path : {"/d/a.jpg", "/d/b.png"})
            server.addFile(QString::fromLatin1(path), body(QString::fromLatin1(path)));
        clip[1].replace(u'@', server.baseUrl());
        list.replaceInStrings(u"@"_s, server.baseUrl());
        auto* data = new QMimeData;
        clip[0].isEmpty() ? void() : data->setHtml(clip[0]);
        clip[1].isEmpty() ? data->setImageData(QImage(4, 4, QImage::Format_RGB32))
                          : data->setText(clip[1]);
        QGuiApplication::clipboard()->setMimeData(data);
        QFETCH(bool, goOn);
        RunWindow w;
        w.controller.mListGoOn = goOn;
        w.controller.showDownloadText();
        QVERIFY(w.textSheet()->isVisible());
        auto* box = w.get<QCheckBox>(u"mText_goOn"_s);
        QCOMPARE(box->isChecked(), goOn);
        box->click();
        QCOMPARE(w.listText()->toPlainText(), shown.isEmpty() ? clip[1] : shown);
        w.get<QPushButton>(list.isEmpty() ? u"mText_cancel"_s : u"mText_ok"_s)->click();
        QVERIFY(!w.textSheet()->isVisible());
        QCOMPARE(w.controller.linkList(), list.contains(u"alert"_s) ? QStringList() : list);
        QCOMPARE(!w.alert().isEmpty(), list.contains(u"alert"_s));
        QCOMPARE(w.listText()->toPlainText(), shown.isEmpty() ? clip[1] : shown);
        QCOMPARE(w.controller.mListGoOn, list.isEmpty() ? goOn : !goOn);
    }
    // --keep-going shows in the box, and stays the launch's unless the user changes the box.
    void keepGoingForLaunch()
    {
        FixtureServer server;
        server.addFile(u"/d/a.jpg"_s, body(u"d/a.jpg"_s));
        QGuiApplication::clipboard()->setText(server.baseUrl() + u"/d/a.jpg"_s);
        RunWindow w;
        w.controller.setListGoOnForLaunch(true);
        w.controller.showDownloadText();
        QVERIFY(w.get<QCheckBox>(u"mText_goOn"_s)->isChecked());
        w.get<QPushButton>(u"mText_ok"_s)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.controller.isRunning(), 10000);
        QVERIFY(w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText().contains(u"ListFailures"));
        QVERIFY(!w.controller.mListGoOn);
    }
    void runs_data()
    {
        QTest::addColumn<QString>("list");      // @: the server
        QTest::addColumn<QString>("stop");      // halt: Stop in the pause; go on
        QTest::addColumn<QString>("log");       // between StartedDownload and FinishedDownload
        QTest::addColumn<QStringList>("files"); // name=key of the body served
        const QString a = u"DownloadComleted a.jpg\n"_s;
        QTest::newRow("CR LF, blank lines, a final line end, a page")
            << u"@/d/a.jpg\r\n\r\n \t@/e/a.jpg?x \r\n@/d/p.html\r\n"_s << QString()
            << a + u"RenamedDownload a.jpg a (2).jpg\nDownloadComleted a (2).jpg\n"
                   u"DownloadComleted p.html\n"_s
            << QStringList{"a (2).jpg=e/a.jpg", "a.jpg=d/a.jpg", "p.html=d/p.html"};
        QTest::newRow("404, then Stop in the pause: the failure ended the run")
            << u"@/d/a.jpg\n@/d/gone.jpg\n@/d/b.png"_s << u"halt"_s
            << a + u"FailureDownload gone.jpg: ReasonMissing 404\n"_s
            << QStringList{"a.jpg=d/a.jpg"};
        QTest::newRow("a folder's address: its name")
            << u"@/d/\n@/d/a.jpg"_s << QString() << u"DownloadComleted d\n"_s + a
            << QStringList{"a.jpg=d/a.jpg", "d=d/"};
        QTest::newRow("a server's address: no file, the run ends")
            << u"@/d/a.jpg\n@\n@/d/b.png"_s << QString()
            << a + u"FailureDownload @: ReasonServerOnly\n"_s << QStringList{"a.jpg=d/a.jpg"};
        QTest::newRow("going on: a dead address in the middle, the rest fetched")
            << u"@/d/a.jpg\n@/d/gone.jpg\n@/d/b.png"_s << u"go on"_s
            << a + u"FailureDownload gone.jpg: ReasonMissing 404\nDownloadComleted b.png\n"
                   u"ListFailures 1 3\n"_s
            << QStringList{"a.jpg=d/a.jpg", "b.png=d/b.png"};
        QTest::newRow("going on, nothing failed")
            << u"@/d/a.jpg\n@/d/b.png"_s << u"go on"_s
            << a + u"DownloadComleted b.png\nListFailures 0 2\n"_s
            << QStringList{"a.jpg=d/a.jpg", "b.png=d/b.png"};
        QTest::newRow("going on, a folder closed to us: the run ends at its first file")
            << u"@/d/a.jpg\n@/d/b.png"_s << u"go on, read-only"_s
            << u"FailureDownload a.jpg: ReasonPermissionDenied\n"_s << QStringList{};
    }
    void runs()
    {
        QFETCH(QString, list);
        QFETCH(QString, stop);
        QFETCH(QString, log);
        FixtureServer server;
        for (const char* path : {"d/a.jpg", "d/b.png", "e/a.jpg"})
            server.addFile(u'/' + QString::fromLatin1(path), body(QString::fromLatin1(path)));
        server.addFile(u"/d/"_s, body(u"d/"_s));
        server.addFile(u"/d/p.html"_s, body(u"d/p.html"_s), 200, "text/html");
        QTemporaryDir out;
        const int pause = stop == u"halt" ? 1000 : 150;
        Window w(pause);
        Controller& c = w.controller;
        c.mOutputDirectory = out.path();
        c.mListGoOn = stop.startsWith(u"go on");
        std::optional<PermissionBitsEnforced> enforced;
        if (stop.endsWith(u"read-only")) {
            enforced.emplace();
            QFile::setPermissions(out.path(), QFile::ReadOwner | QFile::ExeOwner);
        }
        if (c.mListGoOn)
            stop.clear();
        QSignalSpy ends(&c, &Controller::downloadFinished);
        auto text = [&](auto n, const char* p = "plainText") {
            return w.get<QWidget>(n)->property(p).toString();
        };
        c.mainWindow()->findChild<QTextEdit*>()->setPlainText(list.replace(u'@', server.baseUrl()));
        const qint64 started = QDateTime::currentMSecsSinceEpoch();
        c.downloadText();
        if (!stop.isEmpty()) {
            QTRY_VERIFY(text(u"mDrawer_Text"_s).contains(u"Failure"));
            QTest::mouseClick(w.get<QWidget>(u"mStopButton"_s), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        if (stop.isEmpty()) // a pause after every address, but none after a Stop
            QVERIFY(QDateTime::currentMSecsSinceEpoch() - started >=
                    log.count(u"DownloadComleted") * pause);
        QTest::qWait(2 * pause); // a worker that should be over would show now
        log.replace(u'@', server.baseUrl());
        QCOMPARE(text(u"mDrawer_Text"_s), u"StartedDownload\n"_s + log + u"\nFinishedDownload\n"_s);
        QCOMPARE(QList<QVariantList>(ends),
                 QList<QVariantList>{{log.contains(u"FailureDownload")}});
        QCOMPARE(text(u"mCounter"_s, "text"), QString::number(log.count(u"DownloadComleted")));
        QTEST(filesIn(out.path()), "files");
        QCOMPARE(server.hits(u"/d/b.png"_s), log.count(u"b.png")); // none when listed after the end
        QCOMPARE(text(u"mLocation"_s, "readOnly") + text(u"mStopButton"_s, "enabled"),
                 u"falsefalse"_s);
    }
};
QTEST_MAIN(TestUrlList)
#include "tst_ui_urllist.moc"
