#include "ui/dialogs/addressbook/ContactIcons.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStyle>
#include <QWidget>
#include <initializer_list>

namespace parlane {

namespace {

// Desktops without a full icon theme of their own (a bare X server, some tiling window managers)
// still find the contact icons in one of these when it is installed.
void useAnInstalledIconTheme() {
  static const bool once = [] {
    if (QIcon::hasThemeIcon(QStringLiteral("contact-new"))) return true;
    // Without a platform theme Qt looks only in its resources.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& folder :
         QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"),
                                   QStandardPaths::LocateDirectory)) {
      if (!paths.contains(folder)) paths << folder;
    }
    QIcon::setThemeSearchPaths(paths);
    for (const char* theme : {"Adwaita", "breeze", "gnome", "oxygen"}) {
      const QString name = QString::fromLatin1(theme);
      for (const QString& folder : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(folder + u'/' + name + QStringLiteral("/index.theme"))) {
          // No theme of the desktop's own (only hicolor): this one is the theme; otherwise it
          // only fills the gaps of the desktop's.
          const QString current = QIcon::themeName();
          if (current.isEmpty() || current == QStringLiteral("hicolor")) {
            QIcon::setThemeName(name);
          } else {
            QIcon::setFallbackThemeName(name);
          }
          return true;
        }
      }
    }
    return false;
  }();
  (void)once;
}

// The first of `names` that the icon theme has; the style's icon when it has none.
QIcon themed(std::initializer_list<const char*> names, QStyle::StandardPixmap fallback,
             const QWidget& widget) {
  useAnInstalledIconTheme();
  for (const char* name : names) {
    const QString themeName = QString::fromLatin1(name);
    if (QIcon::hasThemeIcon(themeName)) return QIcon::fromTheme(themeName);
  }
  return widget.style()->standardIcon(fallback);
}

}  // namespace

QIcon addContactIcon(const QWidget& widget) {
  return themed({"contact-new", "contact-new-symbolic", "list-add-user"},
                QStyle::SP_FileDialogNewFolder, widget);
}

QIcon addressBookIcon(const QWidget& widget) {
  return themed({"x-office-address-book", "x-office-address-book-symbolic", "address-book-new"},
                QStyle::SP_FileDialogContentsView, widget);
}

}  // namespace parlane
