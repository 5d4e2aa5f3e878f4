#pragma once

#include <QString>
#include <QUrl>

namespace parlane {

// Whether a typed address names its scheme ("http://...").
bool hasScheme(const QString& address);
// `address` with "http://" in front when it names no scheme.
QString withScheme(const QString& address);
// The web page a message's URL leads to, or an invalid URL when it is no web address: a URL that
// came in a message is never handed to a handler for files or other programs.
QUrl webUrl(const QString& address);

}  // namespace parlane
