#include "cookiejar.h"

#include "fetcher.h"

#include <QByteArrayList>
#include <curl/curl.h>

namespace download {

static_assert(CURL_LOCK_DATA_LAST <= 16, "a mutex for each kind of shared data");

bool isCookieLine(QByteArrayView line)
{
    if (line.startsWith('#') && !line.startsWith("#HttpOnly_"))
        return false;
    return line.count('\t') == 6 && !line.startsWith('\t');
}

CookieJar::CookieJar(const QByteArray& lines)
{
    initCurl();
    CURLSH* share = curl_share_init();
    mShare = share;
    if (!share)
        return;
    const curl_lock_function lockData = [](CURL* handle, curl_lock_data data,
                                           curl_lock_access access, void* self) {
        lock(handle, int(data), int(access), self);
    };
    const curl_unlock_function unlockData = [](CURL* handle, curl_lock_data data, void* self) {
        unlock(handle, int(data), self);
    };
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lockData);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlockData);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);

    // The lines go into the shared store through a handle of their own, which leaves nothing
    // behind when it goes.
    CURL* loader = curl_easy_init();
    if (!loader)
        return;
    curl_easy_setopt(loader, CURLOPT_SHARE, share);
    for (QByteArray line : lines.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!isCookieLine(line))
            continue;
        if (curl_easy_setopt(loader, CURLOPT_COOKIELIST, line.constData()) == CURLE_OK)
            ++mLines;
    }
    curl_easy_cleanup(loader);
}

CookieJar::~CookieJar()
{
    // Every fetcher has left the share by now: each holds the jar while it is joined.
    curl_share_cleanup(static_cast<CURLSH*>(mShare));
}

void CookieJar::lock(void*, int data, int, void* self)
{
    static_cast<CookieJar*>(self)->mLocks.at(size_t(data)).lock();
}

void CookieJar::unlock(void*, int data, void* self)
{
    static_cast<CookieJar*>(self)->mLocks.at(size_t(data)).unlock();
}

} // namespace download
