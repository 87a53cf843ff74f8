#include "pagefetcher.h"

PageFetcher::PageFetcher(QObject* parent) : QObject(parent), mFetcher(download::Policy{}, this)
{
    connect(&mFetcher, &Fetcher::finished, this, [this](const Fetcher::Result& result) {
        setCookies({});
        if (auto done = std::exchange(mDone, {});
            done && result.outcome != Fetcher::Outcome::Aborted)
            done(result.outcome == Fetcher::Outcome::Written, result.contentType);
    });
}

void PageFetcher::fetch(const QUrl& url, const QString& path, int totalMs,
                        std::function<void(bool, const QByteArray&)> done)
{
    mDone = {};
    mFetcher.abort();
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https" && scheme != u"file") ||
        (scheme != u"file" && url.host().isEmpty())) {
        done(false, {});
        return;
    }
    mDone = std::move(done);
    Fetcher::Options options;
    options.page = true;
    options.maxBytes = kLargestPage;
    options.totalMs = totalMs;
    mFetcher.start(url, path, options);
}

void PageFetcher::setCookies(std::shared_ptr<download::CookieJar> jar)
{
    download::Policy policy = mFetcher.policy();
    policy.cookies = std::move(jar);
    mFetcher.setPolicy(policy);
}
