#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// The cookies a browser holds, as Netscape cookie-file lines for libcurl's cookie engine.
// Read in-process at the start of a run, so that the values never travel over a bus.
namespace cookies {

struct Jar
{
    QByteArray lines;   // Netscape cookie-file lines, each ended by '\n', for CURLOPT_COOKIELIST
    int unreadable = 0; // values that could not be decrypted (skipped)
    // why nothing could be read, or why the unreadable values could not (localized); empty
    // when all was read
    QString problem;
};

Jar readFirefox(const QString& profileDir);
// browser names the Secret Service application whose password encrypts v11 values
// ("chromium", "chrome", ...).
Jar readChromium(const QString& profileDir, const QString& browser);
// A cookie file as curl -b and browser add-ons write it: the valid lines as they are, expired
// ones left out, and a count of the lines that are no cookie in unreadable.
Jar parseNetscape(QByteArrayView text);

// Firefox keeps its session cookies (those without an expiry) out of cookies.sqlite, in
// memory and in its session store: the cookies of the store's JSON (already inflated) that a
// plain tab would send, as lines; none when the JSON is not a session store.
std::optional<Jar> parseFirefoxSessionCookies(QByteArrayView json);

// Ends, for good, every keyring lookup under way or to come: for the program's end.
void cancelKeyringLookups();

// The same readers with the clock given, in Unix seconds.
Jar readFirefoxAt(const QString& profileDir, qint64 now);
Jar readChromiumAt(const QString& profileDir, const QString& browser, qint64 now);
Jar parseNetscapeAt(QByteArrayView text, qint64 now);

// One cookie as a browser keeps it. A host with a leading dot is a domain cookie (sent to
// subdomains too); expiry is Unix seconds, 0 for a session cookie.
struct Row
{
    QByteArrayView host;
    QByteArrayView path;
    QByteArrayView name;
    QByteArrayView value;
    qint64 expiry = 0;
    bool secure = false;
    bool httpOnly = false;
};

// The Netscape line for the row, '\n' ended; none when it has expired or could not be
// written without changing its meaning.
std::optional<QByteArray> netscapeLine(const Row& row, qint64 now);

// Chromium's expires_utc (microseconds since 1601-01-01 UTC) in Unix seconds; 0 stays 0.
qint64 chromiumTimeToUnix(qint64 microsSince1601);

// A Chromium encrypted_value decrypted with the AES key derived from password; none when it
// does not decrypt, or (hostHash) when its leading SHA-256 of host does not match.
std::optional<QByteArray> chromiumDecrypt(QByteArrayView encrypted, QByteArrayView password,
                                          QByteArrayView host, bool hostHash);

} // namespace cookies
