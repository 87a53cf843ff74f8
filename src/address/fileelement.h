#pragma once

#include <QMutex>
#include <QString>

// The four parts of a counted address. The location carries no trailing "/".
struct FileElement
{
    QString location;
    QString fileName;
    QString number;
    QString extension;

    bool operator==(const FileElement&) const = default;
};

namespace address {

// Path rules the address splitting relies on. They treat an address as a plain
// path: runs of "/" collapse, and a query stays part of the last component.
QString lastPathComponent(const QString& path);
QString pathExtension(const QString& path);
QString deletingLastPathComponent(const QString& path);
QString deletingPathExtension(const QString& path);

// True for "http://" and "https://" anywhere in the text, as a typed address is checked.
bool containsWebScheme(const QString& text);

struct Split
{
    QString fileName;
    QString number;
    QString extension;
    bool countable = false;
};

// Splits the last path component into prefix, number and extension.
// countable is false when the component has no "." or when its first digit
// lies inside the extension (song.mp3, img.php?id=012, http://abc.lan/).
Split parseFileElement(const QString& address);

// The location part of an address, with the "/" that the path rule takes from
// the scheme's "//" put back (http://host/dir for http://host/dir/pic012.jpg).
QString locationOf(const QString& address);

QString fullAddress(const FileElement& element);
QString fileNameOf(const FileElement& element);

// The number that follows: decimal text arithmetic for all-digit numbers of any
// length, the 32-bit integer rule otherwise; the width never shrinks.
QString nextNumber(const QString& number);

} // namespace address

// The file element shared by the main thread and a download worker; every
// access is one locked unit so a worker never sees half of a new address.
class FileElementStore
{
public:
    FileElement get() const;
    void set(const FileElement& element);
    void setLocation(const QString& value) { setPart(&FileElement::location, value); }
    void setFileName(const QString& value) { setPart(&FileElement::fileName, value); }
    void setNumber(const QString& value) { setPart(&FileElement::number, value); }
    void setExtension(const QString& value) { setPart(&FileElement::extension, value); }
    // Counts the number up and answers the element as it now is.
    FileElement countUp();

private:
    void setPart(QString FileElement::*part, const QString& value);

    mutable QMutex mLock;
    FileElement mElement;
};
