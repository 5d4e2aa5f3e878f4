#include "ui/dialogs/control/FolderExport.h"

#include <cerrno>

#include "core/util/FileIo.h"
#include "gsm/Charsets.h"
#include "storage/FileDatabase.h"
#include "ui/dialogs/control/FolderColumns.h"

namespace parlane {

bool exportFolder(const FileDatabase& database, StoreKind folder, const std::string& path,
                  std::uint32_t codePage) {
  const std::vector<FolderColumn> columns = folderColumns(folder);
  QString text;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) text += u'\t';
    text += columns[i].title;
  }
  text += QStringLiteral("\r\n");
  DatabaseRecord record;
  for (const std::u16string& key : database.keys()) {
    // A record removed meanwhile is simply not exported.
    if (!database.get(key, record)) continue;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) text += u'\t';
      const int field = columns[i].field;
      if (field >= 0 && static_cast<std::size_t>(field) < record.size()) {
        text += folderCellText(columns[i], record[static_cast<std::size_t>(field)]);
      }
    }
    text += QStringLiteral("\r\n");
  }
  const std::optional<std::string> bytes = wideToNarrow(text.toStdU16String(), codePage);
  if (!bytes) {
    errno = EINVAL;
    return false;
  }
  return writeFileAtomically(path, *bytes, kPrivateFileMode);
}

}  // namespace parlane
