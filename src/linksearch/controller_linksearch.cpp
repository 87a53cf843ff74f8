#include "app/controller.h"
#include "app/mainpanel.h"
#include "linksearch/linklistmodel.h"
#include "linksearch/linkscan.h"
#include "linksearch/pagefetcher.h"
#include "ui_entrancesheet.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>

void Controller::createEntranceSheet()
{
    mSheet_Entrance = newSheet(&Controller::sheetEntranceDidEnd);
    Ui::EntranceSheet ui;
    ui.setupUi(mSheet_Entrance);
    mEntrance_url = ui.mEntrance_url;
    mEntrance_table = ui.mEntrance_table;
    mEntrance_open = ui.mEntrance_open;
    mEntrance_all = ui.mEntrance_all;
    mLinkModel = new LinkListModel(&mHTMLURLArray, mSheet_Entrance);
    mEntrance_table->setModel(mLinkModel);
    // Rows of one line each: a page of many links lays out at once.
    mEntrance_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    mEntrance_open->setEnabled(false);
    mEntrance_all->setEnabled(false);
    connect(mEntrance_open, &QPushButton::clicked, this, &Controller::sheet_entrance_open);
    connect(mEntrance_all, &QPushButton::clicked, this, &Controller::sheet_entrance_download_all);
    connect(ui.mEntrance_close, &QPushButton::clicked, this, &Controller::sheet_entrance_close);
    // A double-click opens the row's link and leaves the sheet up for the next one.
    connect(mEntrance_table, &QTableView::doubleClicked, this, &Controller::openEntranceURL);
}

QString Controller::savedPagePath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Stepgrab/Preferences/Stepgrab.html");
}

void Controller::saveHTMLSearchFile(const QString& address, std::function<void(bool)> done)
{
    const QString path = savedPagePath();
    if (!QDir().mkpath(QFileInfo(path).path())) {
        done(false);
        return;
    }
    // The search goes on without cookies when they cannot be had; the alert says why.
    openCookieJar([this, address, path, done = std::move(done)](
                      std::shared_ptr<download::CookieJar> jar, const QString& problem) {
        if (!problem.isEmpty())
            showAlertSheet(problem);
        mPageFetch->setCookies(std::move(jar));
        mPageFetch->fetch(QUrl(address), path, mPageFetchTimeoutMs,
                          [this, path, done](bool saved, const QByteArray& contentType) {
                              if (saved) {
                                  mHTMLContentType = contentType;
                                  mHTMLFileName = path;
                              }
                              done(saved);
                          });
    });
}

bool Controller::setupCurrentLocation(const QString& address)
{
    mEntrance_url->setText(linksearch::baseAddress(address));
    return true;
}

void Controller::clearAllHTMLURLArray()
{
    mHTMLURLArray.clear();
}

bool Controller::parseURLInfoFormHTML()
{
    return extractLinks(int(linksearch::Kind::All));
}

bool Controller::parseArchiveFileFormHTML()
{
    return extractLinks(int(linksearch::Kind::Archive));
}

bool Controller::parseMovieFileFormHTML()
{
    return extractLinks(int(linksearch::Kind::Movie));
}

bool Controller::parseImageFileFormHTML()
{
    return extractLinks(int(linksearch::Kind::Image));
}

bool Controller::extractLinks(int kind)
{
    if (mHTMLFileName.isEmpty())
        return false;
    QFile page(mHTMLFileName);
    if (!page.open(QIODevice::ReadOnly) || page.size() == 0)
        return false;
    // Mapped, not read: a large page is scanned without a second copy in memory.
    const uchar* bytes = page.map(0, page.size());
    if (!bytes)
        return false;
    const QByteArrayView text(reinterpret_cast<const char*>(bytes), page.size());

    QChar quoteMark = u'"';
    QFile quote(QStringLiteral(":/Stepgrab/double_quotation.htm"));
    if (quote.open(QIODevice::ReadOnly)) {
        const QString mark = QString::fromUtf8(quote.readAll());
        if (mark.size() == 1)
            quoteMark = mark.front();
    }
    const QStringList links =
        linksearch::scanLinks(text, linksearch::pageCharset(text, mHTMLContentType), quoteMark);
    page.unmap(const_cast<uchar*>(bytes));
    for (const QString& link : links)
        if (linksearch::isOfKind(link, linksearch::Kind(kind)))
            mHTMLURLArray.append(link);

    mLinkModel->reload();
    if (!mHTMLURLArray.isEmpty())
        mEntrance_table->selectRow(0);
    mEntrance_open->setEnabled(!mHTMLURLArray.isEmpty());
    mEntrance_all->setEnabled(!mHTMLURLArray.isEmpty());
    return true;
}
