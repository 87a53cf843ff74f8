#include "browsercookies.h"

#include "host/localized.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>
// glib names a member "signals", which Qt's keyword macro would rename.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")
#include <memory>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <sqlite3.h>

namespace cookies {

namespace {

// A cookie database beyond this is not a browser's: the copy and the read stop there.
constexpr qint64 maxDatabaseBytes = qint64(256) << 20;
// Seconds from 1601-01-01 (Chromium's epoch) to 1970-01-01.
constexpr qint64 chromiumEpochOffset = 11644473600;

// libcurl splits a cookie line at tabs and ends it at a line break; a control character
// anywhere would make another cookie, or a cut one, of the line.
bool plain(QByteArrayView text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

// A host fit for the first field: not a comment, not a header line libcurl would parse as
// Set-Cookie, no blank; a port-like colon only inside an IPv6 literal's brackets.
bool fitHost(QByteArrayView host)
{
    const QByteArrayView bare = host.startsWith('.') ? host.sliced(1) : host;
    if (bare.isEmpty() || bare.startsWith('.') || host.startsWith('#') || !plain(host) ||
        host.contains(' '))
        return false;
    return !host.contains(':') || (bare.startsWith('[') && bare.endsWith(']'));
}

bool fitRow(const Row& row)
{
    return fitHost(row.host) && row.path.startsWith('/') && plain(row.path) &&
           !row.name.isEmpty() && plain(row.name) && plain(row.value);
}

// The pieces of text between separators, empty ones included.
QList<QByteArrayView> split(QByteArrayView text, char separator)
{
    QList<QByteArrayView> parts;
    for (;;) {
        const qsizetype at = text.indexOf(separator);
        if (at < 0) {
            parts.append(text);
            return parts;
        }
        parts.append(text.first(at));
        text = text.sliced(at + 1);
    }
}

bool expired(qint64 expiry, qint64 now)
{
    return expiry != 0 && expiry <= now;
}

struct Sqlite
{
    sqlite3* db = nullptr;
    ~Sqlite() { sqlite3_close_v2(db); }
};

struct Statement
{
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

QByteArrayView column(sqlite3_stmt* stmt, int i)
{
    const void* data = sqlite3_column_blob(stmt, i);
    const int size = sqlite3_column_bytes(stmt, i);
    return data ? QByteArrayView(static_cast<const char*>(data), size) : QByteArrayView();
}

// Copies at most budget bytes; false when the file is longer or cannot be copied.
bool copyBounded(const QString& from, const QString& to, qint64& budget, QString& error)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        error = in.errorString();
        return false;
    }
    QFile out(to);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        error = out.errorString();
        return false;
    }
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(buffer.data(), buffer.size());
        if (got < 0) {
            error = in.errorString();
            return false;
        }
        if (got == 0)
            return out.flush();
        budget -= got;
        if (budget < 0) {
            error = localizedFormat("CookiesTooLarge", QString::number(maxDatabaseBytes >> 20));
            return false;
        }
        if (out.write(buffer.constData(), got) != got) {
            error = out.errorString();
            return false;
        }
    }
}

// The browser keeps its database open and may write to it at any moment: the reader works on
// a private copy taken with the files SQLite needs to see the latest rows.
struct Copy
{
    QTemporaryDir dir; // mode 0700, removed with the copy
    QString path;
};

std::unique_ptr<Copy> copyDatabase(const QString& database, QString& problem)
{
    auto copy = std::make_unique<Copy>();
    if (!copy->dir.isValid()) {
        problem = localizedFormat("CookiesNotCopied", database, copy->dir.errorString());
        return nullptr;
    }
    copy->path = copy->dir.filePath(QFileInfo(database).fileName());
    qint64 budget = maxDatabaseBytes;
    QString error;
    // Refused before a byte is copied when it is already too large; the copy keeps the
    // bound for a file that grows meanwhile.
    if (QFileInfo(database).size() > budget) {
        problem = localizedFormat(
            "CookiesNotCopied", database,
            localizedFormat("CookiesTooLarge", QString::number(maxDatabaseBytes >> 20)));
        return nullptr;
    }
    if (!copyBounded(database, copy->path, budget, error)) {
        problem = localizedFormat("CookiesNotCopied", database, error);
        return nullptr;
    }
    for (const char* suffix : {"-wal", "-journal"}) {
        const QString side = database + QLatin1String(suffix);
        if (QFileInfo(side).isFile() &&
            !copyBounded(side, copy->path + QLatin1String(suffix), budget, error)) {
            problem = localizedFormat("CookiesNotCopied", side, error);
            return nullptr;
        }
    }
    return copy;
}

bool openDatabase(const QString& path, const QString& shown, Sqlite& sql, QString& problem)
{
    const int status = sqlite3_open_v2(QFile::encodeName(path).constData(), &sql.db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (status != SQLITE_OK) {
        problem = localizedFormat(
            "CookiesNotRead", shown,
            QString::fromUtf8(sql.db ? sqlite3_errmsg(sql.db) : sqlite3_errstr(status)));
        return false;
    }
    // The file comes from elsewhere: no triggers, views or functions of its schema run.
    sqlite3_db_config(sql.db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(sql.db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    return true;
}

// The first query of the list that the database's schema answers, newest schema first.
bool prepareFirst(sqlite3* db, std::initializer_list<const char*> queries, Statement& st,
                  QString& error)
{
    for (const char* query : queries) {
        if (sqlite3_prepare_v2(db, query, -1, &st.stmt, nullptr) == SQLITE_OK)
            return true;
        error = QString::fromUtf8(sqlite3_errmsg(db));
    }
    return false;
}

QString findDatabase(const QString& profileDir, std::initializer_list<const char*> names,
                     QString& problem)
{
    if (!QFileInfo(profileDir).isDir()) {
        problem = localizedFormat("CookiesNoProfile", profileDir);
        return {};
    }
    for (const char* name : names) {
        const QString path = QDir(profileDir).filePath(QLatin1String(name));
        if (QFileInfo(path).isFile())
            return path;
    }
    problem = localizedFormat("CookiesNoDatabase", profileDir);
    return {};
}

// A profile's database, found, copied and opened; `database` is the browser's own file, which
// is what the user is told of. The copy goes once the database is closed.
struct Opened
{
    QString database;
    std::unique_ptr<Copy> copy;
    Sqlite sql;
};

std::unique_ptr<Opened> openProfileDatabase(const QString& profileDir,
                                            std::initializer_list<const char*> names,
                                            QString& problem)
{
    auto opened = std::make_unique<Opened>();
    opened->database = findDatabase(profileDir, names, problem);
    if (opened->database.isEmpty())
        return {};
    opened->copy = copyDatabase(opened->database, problem);
    if (!opened->copy || !openDatabase(opened->copy->path, opened->database, opened->sql, problem))
        return {};
    return opened;
}

void add(Jar& jar, const Row& row, qint64 now)
{
    if (const auto line = netscapeLine(row, now))
        jar.lines += *line;
}

// Cancelled once, at quit: a keyring that waits for the user to unlock it must not hold the
// program's end.
GCancellable* keyringCancellable()
{
    static GCancellable* const cancellable = g_cancellable_new();
    return cancellable;
}

SecretSchema chromiumSchema(const char* name)
{
    // Zeroed first: the fields libsecret reserves for itself, and the end of the attributes.
    SecretSchema schema{};
    schema.name = name;
    schema.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
    schema.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return schema;
}

// Chromium's password for v11 values, kept by the desktop's Secret Service under the
// browser's application name.
std::optional<QByteArray> keyringPassword(const QString& browser, QString& error)
{
    static const SecretSchema schemas[] = {
        chromiumSchema("chrome_libsecret_os_crypt_password_v2"),
        chromiumSchema("chrome_libsecret_os_crypt_password"),
    };
    const QByteArray application = browser.toUtf8();
    for (const SecretSchema& schema : schemas) {
        GError* failure = nullptr;
        gchar* password =
            secret_password_lookup_sync(&schema, keyringCancellable(), &failure, "application",
                                        application.constData(), nullptr);
        if (failure) {
            error = QString::fromUtf8(failure->message);
            g_error_free(failure);
            secret_password_free(password);
            return std::nullopt;
        }
        if (password) {
            QByteArray result(password);
            secret_password_free(password);
            return result;
        }
    }
    error = localizedFormat("CookiesNoKeyringItem", browser);
    return std::nullopt;
}

} // namespace

void cancelKeyringLookups()
{
    g_cancellable_cancel(keyringCancellable());
}

std::optional<QByteArray> netscapeLine(const Row& row, qint64 now)
{
    if (!fitRow(row) || expired(row.expiry, now))
        return std::nullopt;
    QByteArray line;
    line.reserve(row.host.size() + row.path.size() + row.name.size() + row.value.size() + 48);
    if (row.httpOnly)
        line += "#HttpOnly_";
    line += row.host;
    line += row.host.startsWith('.') ? "\tTRUE\t" : "\tFALSE\t";
    line += row.path;
    line += row.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += QByteArray::number(row.expiry);
    line += '\t';
    line += row.name;
    line += '\t';
    line += row.value;
    line += '\n';
    return line;
}

qint64 chromiumTimeToUnix(qint64 microsSince1601)
{
    if (microsSince1601 == 0)
        return 0;
    const qint64 seconds = microsSince1601 / 1000000 - chromiumEpochOffset;
    // Before 1970 is long past; 0 would read as a session cookie.
    return seconds > 0 ? seconds : -1;
}

std::optional<QByteArray> chromiumDecrypt(QByteArrayView encrypted, QByteArrayView password,
                                          QByteArrayView host, bool hostHash)
{
    static constexpr unsigned char salt[] = {'s', 'a', 'l', 't', 'y', 's', 'a', 'l', 't'};
    const QByteArrayView body = encrypted.sliced(qMin<qsizetype>(3, encrypted.size()));
    if (encrypted.size() < 3 || body.isEmpty() || body.size() % 16 != 0)
        return std::nullopt;
    unsigned char key[16];
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), int(password.size()), salt, sizeof salt, 1,
                               sizeof key, key) != 1)
        return std::nullopt;
    unsigned char iv[16];
    std::fill(std::begin(iv), std::end(iv), ' ');
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                        EVP_CIPHER_CTX_free);
    QByteArray plainText(body.size() + 16, Qt::Uninitialized);
    int written = 0;
    int last = 0;
    auto* out = reinterpret_cast<unsigned char*>(plainText.data());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key, iv) != 1 ||
        EVP_DecryptUpdate(ctx.get(), out, &written,
                          reinterpret_cast<const unsigned char*>(body.data()),
                          int(body.size())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), out + written, &last) != 1)
        return std::nullopt;
    plainText.truncate(written + last);
    if (!hostHash)
        return plainText;
    // The value begins with the SHA-256 of its host, so that a value moved to another
    // host's row does not decrypt there.
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(host.data()), size_t(host.size()), digest);
    if (plainText.size() < SHA256_DIGEST_LENGTH ||
        QByteArrayView(plainText).first(SHA256_DIGEST_LENGTH) !=
            QByteArrayView(reinterpret_cast<const char*>(digest), SHA256_DIGEST_LENGTH))
        return std::nullopt;
    return plainText.sliced(SHA256_DIGEST_LENGTH);
}

Jar parseNetscapeAt(QByteArrayView text, qint64 now)
{
    Jar jar;
    for (QByteArrayView line : split(text, '\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        QByteArrayView fields = line;
        const bool httpOnly = line.startsWith("#HttpOnly_");
        if (httpOnly)
            fields = line.sliced(10);
        else if (line.startsWith('#'))
            continue;
        const QList<QByteArrayView> part = split(fields, '\t');
        bool number = part.size() == 7 && !part[4].isEmpty() && part[4].size() <= 18;
        for (char c : number ? part[4] : QByteArrayView())
            number = number && c >= '0' && c <= '9';
        const auto flag = [](QByteArrayView f) {
            return f.compare("TRUE", Qt::CaseInsensitive) == 0 ||
                   f.compare("FALSE", Qt::CaseInsensitive) == 0;
        };
        Row row;
        if (number) {
            row.host = part[0];
            row.path = part[2];
            row.name = part[5];
            row.value = part[6];
            row.expiry = part[4].toLongLong();
        }
        // An expired cookie was read well enough to know it is over: dropped, not unreadable.
        if (!number || !flag(part[1]) || !flag(part[3]) || !fitRow(row)) {
            ++jar.unreadable;
        } else if (!expired(row.expiry, now)) {
            jar.lines += line;
            jar.lines += '\n';
        }
    }
    return jar;
}

std::optional<Jar> parseFirefoxSessionCookies(QByteArrayView json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    Jar jar;
    for (const QJsonValue& entry : document.object().value(QLatin1String("cookies")).toArray()) {
        const QJsonObject cookie = entry.toObject();
        // Containers, private windows and other sites' partitions: a plain tab would not send
        // them. Default attributes are all empty or zero.
        bool plainTab = true;
        const QJsonObject origin = cookie.value(QLatin1String("originAttributes")).toObject();
        for (auto it = origin.begin(); it != origin.end(); ++it)
            plainTab = plainTab && (it->isNull() || (it->isString() && it->toString().isEmpty()) ||
                                    (it->isDouble() && it->toDouble() == 0));
        const auto text = [&cookie](const char* key) {
            return cookie.value(QLatin1String(key)).toString().toUtf8();
        };
        const QByteArray host = text("host"), path = text("path"), name = text("name"),
                         value = text("value");
        // A session cookie ends with the browser: it has no expiry to check.
        if (plainTab)
            add(jar,
                {host, path, name, value, 0, cookie.value(QLatin1String("secure")).toBool(),
                 cookie.value(QLatin1String("httponly")).toBool()},
                0);
    }
    return jar;
}

Jar parseNetscape(QByteArrayView text)
{
    return parseNetscapeAt(text, QDateTime::currentSecsSinceEpoch());
}

Jar readFirefoxAt(const QString& profileDir, qint64 now)
{
    Jar jar;
    const auto opened = openProfileDatabase(profileDir, {"cookies.sqlite"}, jar.problem);
    if (!opened)
        return jar;
    const QString& database = opened->database;
    const Sqlite& sql = opened->sql;
    Statement st;
    QString error;
    // Rows with origin attributes belong to containers, private windows or another site's
    // partition: a plain tab would not send them.
    if (!prepareFirst(sql.db,
                      {"SELECT host, path, name, value, expiry, isSecure, isHttpOnly FROM "
                       "moz_cookies WHERE originAttributes = ''",
                       "SELECT host, path, name, value, expiry, isSecure, isHttpOnly FROM "
                       "moz_cookies"},
                      st, error)) {
        jar.problem = localizedFormat("CookiesNotRead", database, error);
        return jar;
    }
    int status;
    while ((status = sqlite3_step(st.stmt)) == SQLITE_ROW) {
        qint64 expiry = sqlite3_column_int64(st.stmt, 4);
        // Newer Firefox keeps milliseconds; a cookie's life is capped far below the year
        // 5000 that seconds would have to reach to look the same.
        if (expiry > 100'000'000'000)
            expiry /= 1000;
        add(jar,
            {column(st.stmt, 0), column(st.stmt, 1), column(st.stmt, 2), column(st.stmt, 3),
             expiry < 0 ? -1 : expiry, sqlite3_column_int(st.stmt, 5) != 0,
             sqlite3_column_int(st.stmt, 6) != 0},
            now);
    }
    if (status != SQLITE_DONE)
        jar.problem =
            localizedFormat("CookiesNotRead", database, QString::fromUtf8(sqlite3_errmsg(sql.db)));
    return jar;
}

Jar readFirefox(const QString& profileDir)
{
    return readFirefoxAt(profileDir, QDateTime::currentSecsSinceEpoch());
}

Jar readChromiumAt(const QString& profileDir, const QString& browser, qint64 now)
{
    Jar jar;
    const auto opened =
        openProfileDatabase(profileDir, {"Cookies", "Network/Cookies"}, jar.problem);
    if (!opened)
        return jar;
    const QString& database = opened->database;
    const Sqlite& sql = opened->sql;

    int version = 0;
    {
        Statement meta;
        if (sqlite3_prepare_v2(sql.db, "SELECT value FROM meta WHERE key = 'version'", -1,
                               &meta.stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(meta.stmt) == SQLITE_ROW)
            version = sqlite3_column_int(meta.stmt, 0);
    }
    const bool hostHash = version >= 24;

    Statement st;
    QString error;
    // A row with a top-frame site is partitioned: sent only inside that site's frames.
    if (!prepareFirst(sql.db,
                      {"SELECT host_key, path, name, value, encrypted_value, expires_utc, "
                       "is_secure, is_httponly, is_persistent FROM cookies "
                       "WHERE top_frame_site_key = ''",
                       "SELECT host_key, path, name, value, encrypted_value, expires_utc, "
                       "is_secure, is_httponly, is_persistent FROM cookies",
                       "SELECT host_key, path, name, value, encrypted_value, expires_utc, "
                       "secure, httponly, persistent FROM cookies"},
                      st, error)) {
        jar.problem = localizedFormat("CookiesNotRead", database, error);
        return jar;
    }

    std::optional<QByteArray> keyring;
    bool keyringAsked = false;
    QString keyringError;
    bool undecryptable = false;
    int status;
    while ((status = sqlite3_step(st.stmt)) == SQLITE_ROW) {
        const QByteArrayView host = column(st.stmt, 0);
        QByteArrayView value = column(st.stmt, 3);
        const QByteArrayView encrypted = column(st.stmt, 4);
        std::optional<QByteArray> decrypted;
        if (value.isEmpty() && !encrypted.isEmpty()) {
            if (encrypted.startsWith("v10")) {
                decrypted = chromiumDecrypt(encrypted, "peanuts", host, hostHash);
            } else if (encrypted.startsWith("v11")) {
                // Asked once, and only when a value needs it: the keyring may prompt.
                if (!keyringAsked) {
                    keyring = keyringPassword(browser, keyringError);
                    keyringAsked = true;
                }
                if (keyring)
                    decrypted = chromiumDecrypt(encrypted, *keyring, host, hostHash);
            }
            if (!decrypted) {
                ++jar.unreadable;
                undecryptable = undecryptable || !encrypted.startsWith("v11") || keyring;
                continue;
            }
            value = *decrypted;
        }
        const bool persistent = sqlite3_column_int(st.stmt, 8) != 0;
        add(jar,
            {host, column(st.stmt, 1), column(st.stmt, 2), value,
             persistent ? chromiumTimeToUnix(sqlite3_column_int64(st.stmt, 5)) : 0,
             sqlite3_column_int(st.stmt, 6) != 0, sqlite3_column_int(st.stmt, 7) != 0},
            now);
    }
    if (status != SQLITE_DONE)
        jar.problem =
            localizedFormat("CookiesNotRead", database, QString::fromUtf8(sqlite3_errmsg(sql.db)));
    else if (jar.unreadable > 0)
        jar.problem =
            undecryptable
                ? localizedFormat("CookiesNotDecrypted", QString::number(jar.unreadable), database)
                : localizedFormat("CookiesNoKeyring",
                                  {QString::number(jar.unreadable), browser, keyringError});
    return jar;
}

Jar readChromium(const QString& profileDir, const QString& browser)
{
    return readChromiumAt(profileDir, browser, QDateTime::currentSecsSinceEpoch());
}

} // namespace cookies
