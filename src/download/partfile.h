#pragma once

#include <QByteArray>
#include <QString>

// A file that appears at its path only when commit() succeeds, complete; until
// then it is an unnamed file in the same folder, so a failed or abandoned
// transfer leaves nothing behind, not even after a crash. Unlike QSaveFile it
// does not sync each file to disk: a downloader writes many files in a row, and
// a lost file can be fetched again.
class PartFile
{
public:
    explicit PartFile(const QString& path);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool open();
    bool write(const QByteArray& data);
    bool commit();
    void discard();
    QString errorString() const { return mError; }

private:
    bool fail();

    QString mPath;
    QByteArray mFolder;
    QByteArray mTarget;
    QByteArray mTemporary; // named fallback where the file system has no unnamed files
    int mFd = -1;
    QString mError;
};
