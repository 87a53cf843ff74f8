#include "app/controller.h"
#include "download/downloadfolder.h"
#include "host/host.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QMenu>
#include <QToolButton>

bool Controller::createDownloadFolder()
{
    const QString path = folder::createDatedFolder(mOutputDirectory, QDateTime::currentDateTime());
    if (path.isEmpty())
        return false;
    mDownloadFolder = path;
    return true;
}

QString Controller::currentDownloadFolder() const
{
    return mCreateNewFolder ? mDownloadFolder : mOutputDirectory;
}

void Controller::updateOutputDirectoryInfo()
{
    directoryInfo = folder::listFiles(currentDownloadFolder());
}

void Controller::updateOpenDownloadMenu()
{
    QMenu* menu = mOpenDownloadMenu->menu();
    const QList<QAction*> items = menu->actions();
    // The first two items belong to the window; the rest are the last run's files.
    for (qsizetype i = 2; i < items.size(); ++i) {
        menu->removeAction(items[i]);
        delete items[i];
    }
    for (const QString& path : std::as_const(directoryInfo)) {
        const QString name = QFileInfo(path).fileName();
        if (!isValidFileName(name))
            continue;
        const QString title = folder::menuTitle(path);
        QAction* item = menu->addAction(QString(title).replace(u'&', QLatin1String("&&")));
        item->setData(title);
        connect(item, &QAction::triggered, this, [this, item] { selectOpenEachMenuItem(item); });
    }
    validateMenus();
}

bool Controller::isValidFileName(const QString& name) const
{
    return folder::isValidFileName(name);
}

void Controller::selectOpenEachMenuItem(QAction* item)
{
    const QString title = item->data().toString();
    for (const QString& path : std::as_const(directoryInfo)) {
        if (folder::menuTitle(path) == title) {
            mHost->openFile(path);
            return;
        }
    }
}

void Controller::openOutputDirectory()
{
    if (!directoryInfo.isEmpty() && QFileInfo::exists(directoryInfo.first()))
        mHost->revealFile(directoryInfo.first());
    else if (!currentDownloadFolder().isEmpty())
        mHost->revealFile(currentDownloadFolder());
}

void Controller::selectOpenAllMenuItem()
{
    if (!directoryInfo.isEmpty())
        launchApplicationWithFile(directoryInfo.first());
}

void Controller::launchApplicationWithFile(const QString& path)
{
    // Where no application is known for the first file, each file still goes to its own.
    if (!mHost->openFilesWithApplicationOf(path, directoryInfo))
        openAllFiles();
}

void Controller::openAllFiles()
{
    for (const QString& path : std::as_const(directoryInfo))
        mHost->openFile(path);
}
