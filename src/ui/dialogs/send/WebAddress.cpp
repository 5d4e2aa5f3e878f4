#include "ui/dialogs/send/WebAddress.h"

#include <QRegularExpression>

namespace parlane {

bool hasScheme(const QString& address) {
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
  return scheme.match(address.trimmed()).hasMatch();
}

QString withScheme(const QString& address) {
  const QString trimmed = address.trimmed();
  return hasScheme(trimmed) || trimmed.isEmpty() ? trimmed : QStringLiteral("http://") + trimmed;
}

QUrl webUrl(const QString& address) {
  const QUrl url(withScheme(address), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https")) return {};
  return url;
}

}  // namespace parlane
