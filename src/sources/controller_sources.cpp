#include "address/fileelement.h"
#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/localized.h"
#include "sources/browserquery.h"

#include <QLineEdit>
#include <QPushButton>
#include <QThreadPool>

void Controller::obtaion_from_web()
{
    if (!allows(Command::Web))
        return;
    switch (mWebBrowser) {
    case WebBrowser::Default:
    case WebBrowser::Firefox:
    case WebBrowser::Chromium:
        obtaion_from_web_carbon();
        break;
    case WebBrowser::Script:
        obtaion_from_web_safari();
        break;
    }
}

void Controller::obtaion_from_web_safari()
{
    runQuery(true, [this](const std::optional<QString>& text) { webActionDone(text); });
}

void Controller::obtaion_from_web_carbon()
{
    runQuery(false, [this](const std::optional<QString>& text) { webActionDone(text); });
}

void Controller::webActionDone(const std::optional<QString>& text)
{
    // Nothing the window offers starts a run or opens a sheet while the query is pending,
    // but a later launch may have: a run's fields are not the answer's to change, and the
    // fields behind a sheet wait until it has gone.
    if (!allows(Command::EnterLocation)) {
        if (!allows(Command::Stop))
            connect(
                mMainWindow, &MainPanel::blockedChanged, this,
                [this, text] { webActionDone(text); },
                Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        return;
    }
    if (!text) {
        showAlertSheet(localized(mBridgeMissing ? "FailureBridgeMissing" : "FailureGrabURL"));
        controllButtonCondition();
        return;
    }
    acceptAddress(*text, "FailureGrabURL");
    // The browser was showing that page: its requests for the files named there came from it.
    if (address::containsWebScheme(text->trimmed()))
        mRefererPage = QUrl(text->trimmed());
}

void Controller::acceptAddress(const QString& candidate, const char* failureKey)
{
    const QString text = candidate.trimmed();
    // Typed, pasted, dropped and bookmarked addresses come from no page; the browser's sets
    // its own after this.
    mRefererPage.clear();
    if (address::containsWebScheme(text)) {
        if (address::pathExtension(text).isEmpty() || !setupLocation(text)) {
            // Not a counted address: keep it whole so the user can mend it.
            cleanupInfoString();
            mElement.setLocation(text);
            mLocation->setText(text);
        }
    } else {
        if (failureKey)
            showAlertSheet(localized(failureKey));
        cleanupInfoString();
    }
    controllButtonCondition();
}

void Controller::getCurrentURLForSearch(std::function<void(bool)> done)
{
    // Every search asks the same row of the table.
    if (!allows(Command::SearchAll)) {
        done(false);
        return;
    }
    switch (mWebBrowser) {
    case WebBrowser::Default:
    case WebBrowser::Firefox:
    case WebBrowser::Chromium:
        getCurrentURLForSearch_carbon(std::move(done));
        return;
    case WebBrowser::Script:
        getCurrentURLForSearch_safari(std::move(done));
        return;
    }
    done(false);
}

void Controller::getCurrentURLForSearch_safari(std::function<void(bool)> done)
{
    runQuery(true, [this, done = std::move(done)](const std::optional<QString>& text) {
        searchFetchDone(text, done);
    });
}

void Controller::getCurrentURLForSearch_carbon(std::function<void(bool)> done)
{
    runQuery(false, [this, done = std::move(done)](const std::optional<QString>& text) {
        searchFetchDone(text, done);
    });
}

void Controller::searchFetchDone(const std::optional<QString>& text, std::function<void(bool)> done)
{
    if (!text) {
        showAlertSheet(localized(mBridgeMissing ? "FailureBridgeMissing" : "FailureGrabURL"));
        done(false);
        return;
    }
    const QString page = *text;
    setQueryPending(true);
    saveHTMLSearchFile(page, [this, page, done](bool saved) {
        setQueryPending(false);
        if (!saved) {
            showAlertSheet(localized("FailureGrabURL"));
            done(false);
            return;
        }
        mHTMLPageAddress = page.trimmed();
        if (address::containsWebScheme(page)) {
            if (address::pathExtension(page).isEmpty() || !setupCurrentLocation(page))
                mEntrance_url->setText(page);
        }
        done(true);
    });
}

// While a query or its page fetch is under way, nothing that would start another is offered.
void Controller::setQueryPending(bool pending)
{
    mQueryPending = pending;
    controllButtonCondition();
}

void Controller::runQuery(bool script, std::function<void(std::optional<QString>)> done)
{
    setQueryPending(true);
    const int browser = int(mWebBrowser);
    // The pool is joined before the Controller goes, so the answer always finds it; the
    // queued call runs on the main thread.
    mQueryThread->start([this, script, browser, done = std::move(done)] {
        bool bridgeMissing = false;
        std::optional<QString> text = script ? runScriptQuery(scriptQueryPath())
                                             : GrabURLInfoFromBrowswer(browser, &bridgeMissing);
        QMetaObject::invokeMethod(
            this,
            [this, text = std::move(text), bridgeMissing, done] {
                setQueryPending(false);
                mBridgeMissing = bridgeMissing;
                done(text);
            },
            Qt::QueuedConnection);
    });
}
