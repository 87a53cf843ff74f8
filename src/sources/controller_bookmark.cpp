#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/localized.h"
#include "sources/bookmark.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSaveFile>

namespace {

// The classic type and creator codes of an Internet Shortcut.
constexpr quint32 kTypeLINK = 0x4C494E4B;
constexpr quint32 kCreatorMSIE = 0x4D534945;

// The save panel names its file as it will be written: a chosen name gets ".url" before the
// panel asks whether to replace a file of that name, so the question is about the file that
// is written, and the drop box and Open Bookmark take it back.
class BookmarkSavePanel : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QString chosen = selectedFiles().value(0);
        if (!chosen.isEmpty() && !QFileInfo(chosen).isDir())
            selectFile(bookmark::withShortcutSuffix(chosen));
        QFileDialog::accept();
    }
};

// A panel as a sheet on the window: it ends in `end` with 1 for OK, 0 for Cancel.
QFileDialog* makeSheet(QFileDialog* dialog, const char* name,
                       std::function<void(int, const QString&)> end)
{
    dialog->setDirectory(QDir::homePath());
    dialog->setObjectName(QLatin1String(name));
    // Qt's own dialog: the same on every desktop, and reachable from the tests.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setNameFilter(localized("BookmarkFilter"));
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, end](int result) {
        const QStringList chosen = dialog->selectedFiles();
        dialog->deleteLater();
        end(result == QDialog::Accepted ? 1 : 0, chosen.value(0));
    });
    return dialog;
}

} // namespace

void Controller::openBookmark()
{
    if (!allows(Command::OpenBookmark))
        return;
    QFileDialog* dialog = makeSheet(
        new QFileDialog(mMainWindow, localized("BookmarkOpenTitle")), "bookmarkOpenDialog",
        [this](int code, const QString& path) { didEndOpenSheet(code, path); });
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const QString documents = QDir::home().filePath(QStringLiteral("Documents"));
    if (QFileInfo(documents).isDir())
        dialog->selectFile(documents);
    dialog->open();
}

void Controller::didEndOpenSheet(int returnCode, const QString& path)
{
    // The dialog has closed: the window's own state decides, as for any address put in.
    if (returnCode != 1 || !allows(Command::OpenBookmark))
        return;
    const std::optional<QString> address = bookmark::readFile(path);
    if (!address)
        return;
    acceptAddress(*address, nullptr);
}

void Controller::saveAsBookmark()
{
    if (!allows(Command::SaveBookmark))
        return;
    QFileDialog* dialog = makeSheet(
        new BookmarkSavePanel(mMainWindow, localized("BookmarkSaveTitle")), "bookmarkSaveDialog",
        [this](int code, const QString& path) { didEndSaveAsSheet(code, path); });
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("url"));
    dialog->selectFile(QStringLiteral("Stepgrab.url"));
    dialog->open();
}

void Controller::didEndSaveAsSheet(int returnCode, const QString& path)
{
    if (returnCode != 1 || path.isEmpty())
        return;
    // The fields as they stand, untested and untrimmed: what the user sees is what is kept.
    const QString address =
        mLocation->text() + u'/' + mFileName->text() + mNumber->text() + u'.' + mExtension->text();
    const std::optional<QByteArray> bytes = bookmark::format(address);
    if (!bytes) {
        showAlertSheet(localized("FailureBookmarkEncoding"));
        return;
    }
    // Whole or not at all: a failed write leaves an older file of that name as it was.
    QSaveFile file(bookmark::withShortcutSuffix(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return;
    setupBookmarkInfo(file.fileName());
}

void Controller::setupBookmarkInfo(const QString& path)
{
    // Where the file system keeps no extended attributes the file stays without the codes.
    bookmark::setFinderInfo(path, kTypeLINK, kCreatorMSIE);
}
