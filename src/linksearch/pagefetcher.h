#pragma once

#include "download/fetcher.h"

#include <QObject>
#include <QUrl>
#include <functional>

// Fetches the page a browser shows into a file, for its links: with the file fetcher's rules for
// redirects, framing and proxies, at most a page's size, the whole fetch within a bound, and no
// retries (the user is waiting). A failed fetch leaves an earlier copy at the path as it was.
class PageFetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kLargestPage = 64 << 20;

    explicit PageFetcher(QObject* parent = nullptr);

    // http, https and file addresses; `done` gets whether the page is at `path`, and its
    // Content-Type (for its charset). A fetch still under way is dropped first.
    void fetch(const QUrl& url, const QString& path, int totalMs,
               std::function<void(bool saved, const QByteArray& contentType)> done);
    bool isRunning() const { return mFetcher.isRunning(); }
    // The cookies of the next fetch (null: none); dropped once it is over.
    void setCookies(std::shared_ptr<download::CookieJar> jar);

private:
    Fetcher mFetcher;
    std::function<void(bool, const QByteArray&)> mDone;
};
