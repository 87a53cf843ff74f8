#include "host/localized.h"
#include "support/qt.h"
#include "support/window.h"

#include <cerrno>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;

// The dialogs start in the home folder: a fresh one, set before the application exists.
static const bool kHomeSet = qputenv("HOME", kHome.path().toLocal8Bit());

// Chooses the File menu's item; returns what its dialog shows selected at first, then accepts
// `file` there (what the dialog proposes when empty). Nothing when none opens.
static QStringList choose(Window& w, const char* action, const QString& dialogName,
                          const QString& file = {})
{
    emit w.get<QMenu>(u"menuFile"_s)->aboutToShow();
    w.get<QAction>(QLatin1String(action))->trigger();
    auto* dialog = w.get<QFileDialog>(dialogName);
    if (!dialog)
        return {};
    const QStringList shown = dialog->selectedFiles();
    if (!file.isEmpty())
        dialog->selectFile(file);
    static_cast<QDialog*>(dialog)->accept();
    return shown;
}

class TestUiBookmark : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip()
    {
        QVERIFY(QDir(kHome.path()).mkpath(u"Documents"_s));
        Window w;
        w.controller.acceptAddress(u"http://host/dir/pic012.jpg"_s, nullptr);
        const QString path = kHome.filePath(u"Stepgrab.url"_s);
        QCOMPARE(choose(w, "actionSaveBookmark", u"bookmarkSaveDialog"_s), QStringList{path});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba);

        w.controller.reset_info();
        QCOMPARE(w.fields().join(QString()), QString());
        QCOMPARE(choose(w, "actionOpenBookmark", u"bookmarkOpenDialog"_s, path),
                 QStringList{kHome.filePath(u"Documents"_s)});
        QCOMPARE(w.fields(), (QStringList{"http://host/dir", "pic", "012", "jpg"}));

        char info[33] = {};
        const ssize_t size =
            getxattr(QFile::encodeName(path).constData(), "user.com.apple.FinderInfo", info, 33);
        if (size < 0 && errno == ENOTSUP)
            QSKIP("the temporary folder's file system keeps no user extended attributes");
        QCOMPARE(QByteArray(info, int(size)), "LINKMSIE"_ba + QByteArray(24, '\0'));
    }

    void unencodable()
    {
        Window w;
        w.controller.acceptAddress(u"http://host/😀/p1.jpg"_s, nullptr);
        const QString path = kHome.filePath(u"emoji.url"_s);
        QVERIFY(!choose(w, "actionSaveBookmark", u"bookmarkSaveDialog"_s, path).isEmpty());
        QCOMPARE(w.alert(), localized("FailureBookmarkEncoding"));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestUiBookmark)
#include "tst_ui_bookmark.moc"
