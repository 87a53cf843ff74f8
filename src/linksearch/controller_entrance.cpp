#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/host.h"
#include "linksearch/linkscan.h"

#include <QDialog>
#include <QFile>
#include <QItemSelectionModel>
#include <QTableView>

void Controller::showEntrance()
{
    searchAndShow(Command::SearchAll, &Controller::parseURLInfoFormHTML);
}

void Controller::showSearchArchiveFile()
{
    searchAndShow(Command::SearchArchives, &Controller::parseArchiveFileFormHTML);
}

void Controller::showSearchMovieFile()
{
    searchAndShow(Command::SearchMovies, &Controller::parseMovieFileFormHTML);
}

void Controller::showSearchImageFile()
{
    searchAndShow(Command::SearchImages, &Controller::parseImageFileFormHTML);
}

void Controller::searchAndShow(Command command, bool (Controller::*extraction)())
{
    if (!allows(command))
        return;
    clearAllHTMLURLArray();
    getCurrentURLForSearch([this, command, extraction](bool saved) {
        if (saved && (this->*extraction)())
            openEntranceWhenFree(command);
    });
}

// An alert up by now (the cookies' own, or a later launch's) holds the links until it goes;
// a run a later launch started drops them.
void Controller::openEntranceWhenFree(Command command)
{
    if (allows(command)) {
        mSheet_Entrance->open();
        return;
    }
    if (!allows(Command::Stop))
        connect(
            mMainWindow, &MainPanel::blockedChanged, this,
            [this, command] { openEntranceWhenFree(command); },
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

void Controller::sheet_entrance_open()
{
    mSheet_Entrance->done(128);
}

void Controller::sheet_entrance_close()
{
    mSheet_Entrance->done(129);
}

void Controller::sheetEntranceDidEnd(int returnCode)
{
    mSheet_Entrance->hide();
    if (returnCode == 128)
        openEntranceURL();
    if (!mHTMLFileName.isEmpty())
        QFile::remove(mHTMLFileName);
}

void Controller::openEntranceURL()
{
    const QModelIndexList rows = mEntrance_table->selectionModel()->selectedRows();
    if (rows.isEmpty() || rows.front().row() >= mHTMLURLArray.size())
        return;
    // Resolved as the browser resolved it on the page, so root-relative and dot-segment links
    // open what they name; other schemes (javascript:, file:, data:) open nothing.
    const QUrl url =
        linksearch::resolveLink(mHTMLPageAddress, mHTMLURLArray.at(rows.front().row()));
    if (url.isEmpty())
        return;
    mHost->openURL(url);
}
