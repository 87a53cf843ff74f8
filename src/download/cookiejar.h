#pragma once

#include <QByteArray>
#include <array>
#include <mutex>

namespace download {

// The cookies of one run (or one link search), in libcurl's cookie engine and nowhere else:
// nothing is written to disk. The fetchers of the run share it across threads, so a cookie a
// server sets on one file goes with the next, whichever thread fetches it. Domain, path,
// Secure, expiry and host-only rules are libcurl's.
class CookieJar
{
public:
    // Netscape cookie lines ("#HttpOnly_" ones too); other lines are passed over, so that
    // nothing in a file can reach the engine as one of its commands.
    explicit CookieJar(const QByteArray& lines = {});
    ~CookieJar();
    CookieJar(const CookieJar&) = delete;
    CookieJar& operator=(const CookieJar&) = delete;

    // The CURLSH handle a fetcher's easy handle joins.
    void* share() const { return mShare; }
    // The lines taken in.
    int lineCount() const { return mLines; }

private:
    static void lock(void* handle, int data, int access, void* self);
    static void unlock(void* handle, int data, void* self);

    void* mShare = nullptr;
    int mLines = 0;
    std::array<std::mutex, 16> mLocks; // one per kind of shared data
};

// Whether a line is a cookie in the Netscape format: seven fields apart by tabs, not a comment
// (but for the "#HttpOnly_" mark that browsers' exports put before a domain).
bool isCookieLine(QByteArrayView line);

} // namespace download
