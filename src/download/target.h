#pragma once

#include <QString>
#include <QUrl>
#include <memory>

namespace folder {
class RunFolder;
}

namespace download {

// Where one file of a run comes from and goes to, or why it cannot be fetched.
struct Target
{
    QUrl url;
    QString name;    // the decoded last segment of the address: the file's name and log name
    QString path;    // empty when refused
    QString refusal; // the reason in the user's words, when refused
    std::shared_ptr<const folder::RunFolder> folder; // the file goes in here, by name
};

Target targetOf(const QString& fullAddress, const std::shared_ptr<const folder::RunFolder>& folder);
// The same for a folder known by its path only.
Target targetOf(const QString& fullAddress, const QString& folder);
// The longest name the folder's file system takes, in bytes.
qsizetype nameLimitOf(const QString& folder);
qsizetype nameLimitOf(const folder::RunFolder& folder);

// The log's lines for a file that failed and for a retry of it.
QString failureLine(const QString& name, const QString& reason);
QString retryLine(const QString& name, const QString& reason, int retry, int delayMs);

} // namespace download
