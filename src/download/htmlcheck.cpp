#include "htmlcheck.h"

namespace html {

QByteArray header()
{
    return QByteArrayLiteral("<html>");
}

bool isHTMLFile(const QByteArray& data)
{
    return pages::looksLikeHtml(data);
}

} // namespace html
