#include "host/localized.h"
#include "sources/bookmark.h"
#include "support/files.h"
#include "support/qt.h"
#include "support/table.h"
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
        QCOMPARE(fileBytes(path), "[InternetShortcut]\r\nURL=http://host/dir/pic012.jpg\r\n"_ba);
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

    // The name typed in the save panel, the file already there, and what is written; the
    // panel's replace question names the file that is written.
    void suffix_data()
    {
        // existing: empty for none, so no question
        columns<QString, QString, QString>("typed", "existing", "written");
        QTest::newRow("capitals kept") << u"Links.URL"_s << u""_s << u"Links.URL"_s;
        QTest::newRow("replace asked for the final name")
            << u"old.txt"_s << u"old.txt.url"_s << u"old.txt.url"_s;
    }
    void suffix()
    {
        QFETCH(QString, typed);
        QFETCH(QString, existing);
        QFETCH(QString, written);
        QTemporaryDir dir;
        QVERIFY(existing.isEmpty() || writeFile(dir.filePath(existing), "old"));
        Window w;
        w.controller.acceptAddress(u"http://host/dir/pic012.jpg"_s, nullptr);
        w.get<QAction>(u"actionSaveBookmark"_s)->trigger();
        auto* dialog = w.get<QFileDialog>(u"bookmarkSaveDialog"_s);
        dialog->selectFile(dir.filePath(typed));
        QString asked; // the panel's replace question runs a loop of its own: answered there
        QTimer::singleShot(0, &w.controller, [&asked] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(QMessageBox::Yes)->click();
            }
        });
        static_cast<QDialog*>(dialog)->accept();
        QCoreApplication::processEvents();
        QVERIFY(existing.isEmpty() ? asked.isEmpty() : asked.contains(existing));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
        QCOMPARE(bookmark::readFile(dir.filePath(written)), u"http://host/dir/pic012.jpg"_s);
    }
};

QTEST_MAIN(TestUiBookmark)
#include "tst_ui_bookmark.moc"
