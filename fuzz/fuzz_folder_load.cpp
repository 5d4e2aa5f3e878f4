// Loads arbitrary bytes as a folder file. Whatever loads must survive a full rewrite and a second
// load unchanged, and nothing may crash.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/settings/SettingsStore.h"
#include "core/util/Utf.h"
#include "storage/FileDatabase.h"
#include "storage/RegisterColumns.h"

namespace {

const std::string& folder() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string* path = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fuzz-folder-XXXXXX").string();
    auto* made = new std::string(::mkdtemp(tmpl.data()));
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*path, ignored);
    });
    return made;
  }();
  return *path;
}

std::unique_ptr<parlane::FileDatabase> make(parlane::SettingsStore& settings) {
  return std::make_unique<parlane::FileDatabase>(u"db", settings, folder());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the shape: 1 to 14 columns and one of three separators.
  const unsigned columns = 1 + data[0] % 14;
  const char16_t* separators[] = {u"\t", u";", u"\u00a7"};
  const char16_t* separator = separators[(data[0] / 14) % 3];

  parlane::SettingsStore settings;
  std::vector<std::u16string> names;
  for (unsigned i = 0; i < columns; ++i)
    names.push_back(u"c" + parlane::fromAscii(std::to_string(i)));
  parlane::registerColumns(settings, u"db", names);
  settings.setString("db.filename", u"db.txt");
  settings.setString("db.separator", separator);

  const std::string path = folder() + "/db.txt";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  auto first = make(settings);
  if (first->load(true) != 0) __builtin_trap();
  const auto loaded = first->selectContaining(0, u"", 0);
  if (loaded.size() != first->count()) __builtin_trap();

  // A new record and a forced rewrite: everything loaded must come back.
  first->put({first->newIdText(), u"new\tline\r\n"});
  first->remove(u"\uFFFF no such key");
  if (first->save() != 0) __builtin_trap();
  const auto saved = first->selectContaining(0, u"", 0);
  first.reset();  // a second database can't have the file while the first holds it
  auto second = make(settings);
  if (second->load(true) != 0) __builtin_trap();
  if (second->selectContaining(0, u"", 0) != saved) __builtin_trap();

  std::filesystem::remove(path + ".rejected");
  return 0;
}
