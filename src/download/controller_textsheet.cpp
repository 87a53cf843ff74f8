#include "app/controller.h"
#include "app/mainpanel.h"
#include "linksearch/linkscan.h"
#include "ui_textsheet.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

void Controller::createTextSheet()
{
    mSheet_Text = newSheet(&Controller::sheetShowDownloadTextDidEnd);
    Ui::TextSheet ui;
    ui.setupUi(mSheet_Text);
    mText_url = ui.mText_url;
    mText_goOn = ui.mText_goOn;
    connect(ui.mText_ok, &QPushButton::clicked, this, &Controller::sheet_text_ok);
    connect(ui.mText_cancel, &QPushButton::clicked, this, &Controller::sheet_text_cancel);
}

void Controller::showDownloadText()
{
    if (!allows(Command::AddressList))
        return;
    clearAllHTMLURLArray();
    mListRefererPage.clear();
    mText_url->clear();
    setupDownloadText();
    openTextSheet();
}

void Controller::showDownloadTextWith(const QString& text)
{
    if (!allows(Command::AddressList))
        return;
    clearAllHTMLURLArray();
    mText_url->clear();
    mText_url->insertPlainText(text);
    mText_url->moveCursor(QTextCursor::Start);
    openTextSheet();
}

void Controller::openTextSheet()
{
    mText_goOnShown = mListGoOn || mListGoOnForLaunch;
    mText_goOn->setChecked(mText_goOnShown);
    mSheet_Text->open();
}

void Controller::setupDownloadText()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return;
    if (data->hasHtml()) {
        // Rich text keeps its look, but a picture in it is no address: its placeholder
        // character would become a line of its own.
        QTextDocument page;
        page.setHtml(data->html());
        const QString picture(QChar::ObjectReplacementCharacter);
        for (QTextCursor at = page.find(picture); !at.isNull(); at = page.find(picture, at))
            at.removeSelectedText();
        mText_url->textCursor().insertFragment(QTextDocumentFragment(&page));
    } else if (data->hasText()) {
        mText_url->insertPlainText(data->text());
    }
}

void Controller::sheet_text_ok()
{
    mSheet_Text->done(128);
}

void Controller::sheet_text_cancel()
{
    mSheet_Text->done(129);
}

void Controller::sheetShowDownloadTextDidEnd(int returnCode)
{
    mSheet_Text->hide();
    if (returnCode == 128) {
        // A box the user changed is the choice from now on, kept beyond this launch; one left
        // as shown keeps a launch's --keep-going to that launch.
        if (mText_goOn->isChecked() != mText_goOnShown) {
            mListGoOn = mText_goOn->isChecked();
            mListGoOnForLaunch = false;
        }
        downloadText();
    }
}

void Controller::sheet_entrance_download_all()
{
    QStringList addresses;
    QSet<QString> listed;
    for (const QString& link : std::as_const(mHTMLURLArray)) {
        const QString address =
            linksearch::resolveLink(mHTMLPageAddress, link).toString(QUrl::FullyEncoded);
        // A page links one picture from its thumbnail and its caption alike: fetch it once.
        if (address.isEmpty() || listed.contains(address))
            continue;
        listed.insert(address);
        addresses << address;
    }
    sheet_entrance_close();
    mListRefererPage = QUrl(mHTMLPageAddress);
    // The next turn of the loop, once the Entrance sheet has left the window: a window-modal
    // sheet opened while another is still going away may never show.
    QMetaObject::invokeMethod(
        this, [this, text = addresses.join(u'\n')] { showDownloadTextWith(text); },
        Qt::QueuedConnection);
}
