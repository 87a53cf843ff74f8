#pragma once

#include <QMutex>
#include <QString>
#include <QUrl>

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
// The number starts at the first decimal digit that is not one of the two hex
// digits of a "%XX" escape, so a copied %E5%86%99012.jpg counts from 012. When
// the number text begins with digits and a ".", the rest joins the extension
// (pic01.tar.gz: 01 and tar.gz).
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

// The name a fetched file is saved under: the last segment of the path as sent
// to the server, percent-decoded as UTF-8, without query or fragment; for a path
// ending in "/", the last segment before it (empty for a server's address). The result
// may be anything ("", "..", "a/b.jpg"): check it with unsafeNameReason.
QString downloadFileName(const QUrl& url);

// Empty for a name that can be created inside a folder as one plain entry, else
// the key of the reason ("ReasonNameEmpty", "ReasonNameUnsafe", "ReasonNameTooLong")
// for the caller to localize. maxBytes bounds the UTF-8 length of the name. Control
// characters are refused: a name is shown in logs, menus and terminals as it is.
QString unsafeNameReason(const QString& name, qsizetype maxBytes = 255);

// The name with each control character written as its "%XX" escape, fit for a log line.
QString printableName(const QString& name);

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
