#pragma once

#include <QByteArray>
#include <QUrl>

namespace download {

// The Referer a browser sends for `request` from `page` under its default policy,
// strict-origin-when-cross-origin: the page's whole address (without user name, password and
// fragment) to the page's own origin, only that origin to another one, and nothing from an
// https page to a plain http address. A page that is not an http or https address with a
// host sends nothing, and neither does any address that is not one. Empty for none.
QByteArray referrerFor(const QUrl& page, const QUrl& request);

// What the engine fetches from, and what a page may be: http and https addresses that name a
// host.
bool isFetchable(const QUrl& url);

} // namespace download
