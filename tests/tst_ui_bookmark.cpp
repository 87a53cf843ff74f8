#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/host.h"
#include "host/localized.h"

#include <QtTest>
#include <QtWidgets>
#include <cerrno>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;

namespace {

// The dialogs start in the home folder: a fresh one, set before the application exists.
const QTemporaryDir kHome;
const bool kHomeSet = qputenv("HOME", kHome.path().toLocal8Bit()) &&
                      qputenv("XDG_CONFIG_HOME", kHome.filePath(u".config"_s).toLocal8Bit());

struct Window : Host
{
    Controller controller{this};

    Window() { controller.applicationDidFinishLaunching(); }
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    void openFilesEach(const QStringList&) override {}
    bool openURL(const QUrl&) override { return true; }
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
    // Opens the File menu, chooses the item, then `file` in its dialog (the proposed entry
    // when empty).
    QFileDialog* choose(const char* action, const QString& dialogName, const QString& file = {})
    {
        emit get<QMenu>(u"menuFile"_s)->aboutToShow();
        get<QAction>(QLatin1String(action))->trigger();
        auto* dialog = get<QFileDialog>(dialogName);
        if (dialog && !file.isEmpty())
            dialog->selectFile(file);
        return dialog;
    }
};

} // namespace

class TestUiBookmark : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip();
    void unencodable();
};

void TestUiBookmark::roundTrip()
{
    QVERIFY(QDir(kHome.path()).mkpath(u"Documents"_s));
    Window w;
    w.controller.acceptAddress(u"http://host/dir/pic012.jpg"_s, nullptr);
    const QStringList before = w.fields();
    QCOMPARE(before, (QStringList{"http://host/dir", "pic", "012", "jpg"}));

    QFileDialog* save = w.choose("actionSaveBookmark", u"bookmarkSaveDialog"_s);
    QVERIFY(save);
    QCOMPARE(save->windowTitle(), u"Bookmark Save"_s);
    static_cast<QDialog*>(save)->accept(); // the proposed name in the home folder
    const QString path = kHome.filePath(u"Stepgrab.url"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba);

    w.controller.reset_info();
    QFileDialog* open = w.choose("actionOpenBookmark", u"bookmarkOpenDialog"_s);
    QVERIFY(open);
    QCOMPARE(open->windowTitle(), u"Bookmark Open"_s);
    QCOMPARE(open->selectedFiles(), QStringList{kHome.filePath(u"Documents"_s)});
    open->selectFile(path);
    static_cast<QDialog*>(open)->accept();
    QCOMPARE(w.fields(), before);

    char info[33] = {};
    const ssize_t size =
        getxattr(QFile::encodeName(path).constData(), "user.com.apple.FinderInfo", info, 33);
    if (size < 0 && errno == ENOTSUP)
        QSKIP("the temporary folder's file system keeps no user extended attributes");
    QCOMPARE(QByteArray(info, int(size)), "LINKMSIE"_ba + QByteArray(24, '\0'));
}

void TestUiBookmark::unencodable()
{
    Window w;
    w.controller.acceptAddress(u"http://host/😀/p1.jpg"_s, nullptr);
    const QString path = kHome.filePath(u"emoji.url"_s);
    QFileDialog* save = w.choose("actionSaveBookmark", u"bookmarkSaveDialog"_s, path);
    QVERIFY(save);
    static_cast<QDialog*>(save)->accept();
    auto* alert = w.get<QMessageBox>(u"alertSheet"_s);
    QVERIFY(alert);
    QCOMPARE(alert->text(), localized("FailureBookmarkEncoding"));
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestUiBookmark)
#include "tst_ui_bookmark.moc"
