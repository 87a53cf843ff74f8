#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/localized.h"
#include "support/uirun.h"

#include <QtTest>
#include <QtWidgets>
#include <cerrno>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;

namespace {

// The dialogs start in the home folder: a fresh one, set before the application exists.
const bool kHomeSet = qputenv("HOME", kHome.path().toLocal8Bit());

struct Window : RecordingHost
{
    Controller controller{this};

    Window() { controller.applicationDidFinishLaunching(); }
    template <class T> T* get(const QString& name) const
    {
        return controller.mainWindow()->findChild<T*>(name);
    }
    QStringList fields() const
    {
        QStringList out;
        for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
            out << get<QLineEdit>(QLatin1String(name))->text();
        return out;
    }
    // Chooses the File menu's item; returns what its dialog shows selected at first, then
    // accepts `file` there (what the dialog proposes when empty). Nothing when none opens.
    QStringList choose(const char* action, const QString& dialogName, const QString& file = {})
    {
        emit get<QMenu>(u"menuFile"_s)->aboutToShow();
        get<QAction>(QLatin1String(action))->trigger();
        auto* dialog = get<QFileDialog>(dialogName);
        if (!dialog)
            return {};
        const QStringList shown = dialog->selectedFiles();
        if (!file.isEmpty())
            dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();
        return shown;
    }
};

} // namespace

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
        QCOMPARE(w.choose("actionSaveBookmark", u"bookmarkSaveDialog"_s), QStringList{path});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba);

        w.controller.reset_info();
        QCOMPARE(w.fields().join(QString()), QString());
        QCOMPARE(w.choose("actionOpenBookmark", u"bookmarkOpenDialog"_s, path),
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
        QVERIFY(!w.choose("actionSaveBookmark", u"bookmarkSaveDialog"_s, path).isEmpty());
        auto* alert = w.get<QMessageBox>(u"alertSheet"_s);
        QVERIFY(alert);
        QCOMPARE(alert->text(), localized("FailureBookmarkEncoding"));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestUiBookmark)
#include "tst_ui_bookmark.moc"
