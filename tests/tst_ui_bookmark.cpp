#include "host/localized.h"
#include "support/qt.h"
#include "support/window.h"

#include <cerrno>
#include <sys/xattr.h>

using namespace Qt::StringLiterals;

static const bool kDialogsStartInAFreshHome = qputenv("HOME", kHome.path().toLocal8Bit());
class TestUiBookmark : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip()
    {
        QVERIFY(QDir(kHome.path()).mkpath(u"Documents"_s));
        const QString path = kHome.filePath(u"Stepgrab.url"_s), emoji = path + u"2.url"_s;
        Window w; // its dialogs start in a fresh home
        const auto choose = [&](const char* action, const QString& file) { // -> first shown
            // The last dialog is gone first, so the one found is the one just opened.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            emit w.get<QMenu>(u"menuFile"_s)->aboutToShow();
            w.get<QAction>(u"action%1Bookmark"_s.arg(action))->trigger();
            auto* dialog = w.get<QFileDialog>(u"bookmark%1Dialog"_s.arg(action));
            const QStringList shown = dialog->selectedFiles();
            dialog->selectFile(file);
            static_cast<QDialog*>(dialog)->accept();
            return shown;
        };
        w.controller.acceptAddress(u"http://host/dir/pic012.jpg"_s, nullptr);
        QCOMPARE(choose("Save", path), QStringList{path});
        QFile file(path);
        QCOMPARE(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(),
                 "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba);
        w.controller.acceptAddress(u"http://host/😀/p1.jpg"_s, nullptr);
        choose("Save", emoji);
        QCOMPARE(w.alert(), localized("FailureBookmarkEncoding"));
        QVERIFY(!QFile::exists(emoji));
        w.get<QMessageBox>(u"alertSheet"_s)->buttons().first()->click(); // no sheet over it
        QCOMPARE(choose("Open", path), QStringList{kHome.filePath(u"Documents"_s)});
        QCOMPARE(w.fields(), (QStringList{"http://host/dir", "pic", "012", "jpg"}));
        char info[33] = {};
        const ssize_t size =
            getxattr(QFile::encodeName(path).constData(), "user.com.apple.FinderInfo", info, 33);
        if (size < 0 && errno == ENOTSUP)
            QSKIP("the temporary folder's file system keeps no user extended attributes");
        QCOMPARE(QByteArray(info, int(size)), "LINKMSIE"_ba + QByteArray(24, '\0'));
    }
};

QTEST_MAIN(TestUiBookmark)
#include "tst_ui_bookmark.moc"
