#include "ui/dialogs/common/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>

#include "core/log/Logger.h"
#include "ui/dialogs/common/DialogHost.h"
#include "ui/dialogs/common/HelpTopics.h"

#ifndef PARLANE_DATA_DIR
#define PARLANE_DATA_DIR "/usr/local/share/parlane"
#endif

namespace parlane {

QUrl helpUrl(int context) {
  const QString programDir = QCoreApplication::applicationDirPath();
  const std::vector<std::string> folders = {
      QDir::current().filePath("help").toStdString(),
      (programDir + "/help").toStdString(),
      QDir::cleanPath(programDir + "/../share/parlane/help").toStdString(),
      std::string(PARLANE_DATA_DIR) + "/help",
  };
  const std::string folder = findHelpFolder(folders);
  if (folder.empty()) return {};
  const std::string target = helpTarget(context);
  const std::size_t hash = target.find('#');
  QUrl url =
      QUrl::fromLocalFile(QDir(QString::fromStdString(folder))
                              .absoluteFilePath(QString::fromStdString(target.substr(0, hash))));
  if (hash != std::string::npos) url.setFragment(QString::fromStdString(target.substr(hash + 1)));
  return url;
}

bool openHelp(int context, DialogHost& host) {
  const QUrl url = helpUrl(context);
  if (url.isEmpty()) {
    Logger::log(2, std::string("Help: no help folder was found"));
    return false;
  }
  if (host.openUrl(url)) return true;
  Logger::log(2, "Help: no browser opened " + url.toString().toStdString());
  return false;
}

}  // namespace parlane
