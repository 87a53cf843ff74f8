#include "app/controller.h"
#include "download/downloadfolder.h"
#include "download/partfile.h"
#include "host/host.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QToolButton>
#include <cerrno>

namespace {

// Items a menu holds before its files are split into sections; one such menu is also
// cheap enough to lay out at the end of a run.
constexpr qsizetype kMenuPage = 250;

QString menuText(QString title)
{
    return title.replace(u'&', QLatin1String("&&"));
}

} // namespace

// A name taken by something that cannot be this user's folder refuses the run its folder:
// falling back on an older one would hide where the files went.
// A run with no folder of its own fails with the reason: an older run's folder is never taken
// in its place.
bool Controller::createDownloadFolder()
{
    const QString base = folder::outputFolder(mOutputDirectory);
    std::shared_ptr<const folder::RunFolder> made =
        folder::createDatedFolder(base, QDateTime::currentDateTime(), &mRunFolderRefusal);
    const int code = errno;
    if (!made) {
        mDownloadFolder.clear();
        if (mRunFolderRefusal.isEmpty() && folder::RunFolder::open(base, &mRunFolderRefusal))
            mRunFolderRefusal = PartFile::reason(code);
        return false;
    }
    mDownloadFolder = made->path();
    mRunFolder = std::move(made);
    return true;
}

QString Controller::currentDownloadFolder() const
{
    return mCreateNewFolder ? mDownloadFolder : folder::outputFolder(mOutputDirectory);
}

void Controller::updateOutputDirectoryInfo()
{
    mListedFolder = currentDownloadFolder();
    directoryInfo = folder::Listing(mListedFolder);
}

// The items are laid out when the menu opens: a folder of many thousand files would
// otherwise cost seconds and megabytes at the end of every run. What the menu would
// hold is known at once, for the validation of the items that depend on it.
void Controller::updateOpenDownloadMenu()
{
    QMenu* menu = mOpenDownloadMenu->menu();
    const QList<QAction*> items = menu->actions();
    // The first two items belong to the window; the rest are the last run's files.
    for (qsizetype i = 2; i < items.size(); ++i) {
        menu->removeAction(items[i]);
        if (QMenu* section = items[i]->menu())
            section->deleteLater(); // it may be the one on screen
        else
            items[i]->deleteLater();
    }
    mOpenDownloadFiles.clear();
    for (qsizetype i = 0; i < directoryInfo.size(); ++i)
        if (folder::isValidFileName(directoryInfo.rawName(i))) // no decoding of every name
            mOpenDownloadFiles.append(i);
    mOpenDownloadMenuStale = true;
    if (mOpenDownloadFiles.size() <= kMenuPage)
        layOutOpenDownloadMenu();
    validateMenus();
}

void Controller::layOutOpenDownloadMenu()
{
    if (!mOpenDownloadMenuStale)
        return;
    mOpenDownloadMenuStale = false;
    fillOpenDownloadMenu(mOpenDownloadMenu->menu(), 0, mOpenDownloadFiles.size());
}

// Files [first, last) of the menu's list: as items, or as sections titled by their first
// and last items, each filled when it is first opened.
void Controller::fillOpenDownloadMenu(QMenu* menu, qsizetype first, qsizetype last)
{
    const auto title = [this](qsizetype k) {
        return folder::menuTitle(directoryInfo.name(mOpenDownloadFiles[k]));
    };
    const auto sections = folder::menuSections(first, last, kMenuPage);
    if (sections.isEmpty()) {
        for (qsizetype k = first; k < last; ++k) {
            const QString name = title(k);
            QAction* item = menu->addAction(menuText(name));
            item->setData(name);
            connect(item, &QAction::triggered, this,
                    [this, item] { selectOpenEachMenuItem(item); });
        }
        return;
    }
    for (const auto& [from, to] : sections) {
        QMenu* section =
            menu->addMenu(menuText(title(from) + QStringLiteral(" \u2026 ") + title(to - 1)));
        connect(
            section, &QMenu::aboutToShow, this,
            [this, section, from = from, to = to] { fillOpenDownloadMenu(section, from, to); },
            Qt::SingleShotConnection);
    }
}

bool Controller::isValidFileName(const QString& name) const
{
    return folder::isValidFileName(name);
}

void Controller::selectOpenEachMenuItem(QAction* item)
{
    if (!allows(Command::OpenFile))
        return;
    const QString title = item->data().toString();
    for (qsizetype i = 0; i < directoryInfo.size(); ++i) {
        if (folder::menuTitle(directoryInfo.name(i)) == title) {
            mHost->openFile(directoryInfo.path(i));
            return;
        }
    }
}

void Controller::openOutputDirectory()
{
    if (!allows(Command::ShowFolder))
        return;
    if (!directoryInfo.isEmpty() && QFileInfo::exists(directoryInfo.path(0)))
        mHost->revealFile(directoryInfo.path(0));
    else if (!currentDownloadFolder().isEmpty())
        mHost->revealFile(currentDownloadFolder());
}

void Controller::selectOpenAllMenuItem()
{
    if (allows(Command::OpenAllFiles))
        openAllFiles();
}

// The files the menu lists, hidden ones not among them; each goes to its own default
// application, each application once with all of its files.
void Controller::openAllFiles()
{
    QStringList paths;
    for (const qsizetype i : std::as_const(mOpenDownloadFiles))
        paths << directoryInfo.path(i);
    mHost->openFilesEach(paths);
}
