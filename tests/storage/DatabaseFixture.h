#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "storage/FileDatabase.h"
#include "storage/RegisterColumns.h"
#include "support/TempDir.h"

namespace parlane::test {

// A database named "db" with the columns id, name, note kept in a temporary folder.
class DatabaseFixture {
 public:
  explicit DatabaseFixture(std::vector<std::u16string> columns = {u"id", u"name", u"note"}) {
    registerColumns(settings, u"db", columns);
    settings.setString("db.filename", u"db.txt");
  }

  std::unique_ptr<FileDatabase> make() {
    return std::make_unique<FileDatabase>(u"db", settings, dir.path());
  }
  // A database loaded from `contents` (with the reset flag).
  std::unique_ptr<FileDatabase> loaded(const std::string& contents) {
    dir.write("db.txt", contents);
    auto db = make();
    loadResult = db->load(true);
    return db;
  }
  std::string file() const { return dir.read("db.txt"); }
  std::string path() const { return dir.file("db.txt"); }
  bool exists(const std::string& name) const {
    struct stat st {};
    return ::stat(dir.file(name).c_str(), &st) == 0;
  }

  TempDir dir;
  SettingsStore settings;
  int loadResult = 0;
};

inline DatabaseRecord rec(std::initializer_list<const char16_t*> fields) {
  DatabaseRecord record;
  for (const char16_t* field : fields) record.emplace_back(field);
  return record;
}

inline std::vector<std::u16string> keysOf(const std::vector<DatabaseRecord>& records) {
  std::vector<std::u16string> keys;
  for (const auto& record : records) keys.push_back(record.empty() ? u"" : record[0]);
  return keys;
}

}  // namespace parlane::test
