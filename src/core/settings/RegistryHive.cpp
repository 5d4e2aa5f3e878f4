#include "core/settings/RegistryHive.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "core/settings/RegistryKeyFile.h"
#include "core/util/FileIo.h"

namespace parlane {

namespace {

constexpr mode_t kPrivateFolderMode = 0700;

// Read-modify-write of key files is serialised within the process.
std::mutex& keyFileMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return ".";
}

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing folder on the way to the key file.
bool createParentFolders(const std::string& filePath) {
  for (size_t slash = filePath.find('/', 1); slash != std::string::npos;
       slash = filePath.find('/', slash + 1)) {
    const std::string folder = filePath.substr(0, slash);
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 &&
        !(errno == EEXIST && isFolder(folder))) {
      if (errno == EEXIST) errno = ENOTDIR;
      return false;
    }
  }
  return true;
}

bool writeKeyFile(const std::string& path, const std::vector<RegistryValue>& values,
                  const std::vector<UnreadableKeyLine>& unreadable = {}) {
  const auto text = RegistryKeyFile::format(values, unreadable);
  if (!text) {
    errno = EINVAL;
    return false;
  }
  return createParentFolders(path) && writeFileAtomically(path, *text, kPrivateFileMode);
}

}  // namespace

RegistryHive::RegistryHive(std::string folder) : folder_(std::move(folder)) {}

RegistryHive RegistryHive::currentUser() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  // Relative values are invalid by the XDG rules and are ignored.
  const std::string base =
      config != nullptr && config[0] == '/' ? std::string(config) : homeFolder() + "/.config";
  return RegistryHive(base + "/Quortane SMS/registry");
}

RegistryHive RegistryHive::systemAccount() {
  return RegistryHive("/var/lib/Quortane SMS/registry");
}

bool RegistryHive::isValidSubKey(const std::string& subKey) {
  if (subKey.empty()) return false;
  size_t start = 0;
  for (;;) {
    const size_t end = subKey.find('\\', start);
    const std::string_view part =
        std::string_view(subKey).substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == ".." ||
        part.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos) {
      return false;
    }
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

std::string RegistryHive::keyPath(const std::string& subKey) const {
  std::string path = folder_ + "/" + subKey;
  for (size_t i = folder_.size() + 1; i < path.size(); ++i) {
    if (path[i] == '\\') path[i] = '/';
  }
  return path;
}

bool RegistryHive::keyExists(const std::string& subKey) const {
  if (!isValidSubKey(subKey)) return false;
  struct stat st {};
  return ::stat(keyPath(subKey).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RegistryHive::createKey(const std::string& subKey) {
  if (!isValidSubKey(subKey)) {
    errno = EINVAL;
    return false;
  }
  std::lock_guard lock(keyFileMutex());
  if (keyExists(subKey)) return true;
  return writeKeyFile(keyPath(subKey), {});
}

std::optional<std::vector<RegistryValue>> RegistryHive::readValues(
    const std::string& subKey, std::vector<UnreadableKeyLine>* unreadable) const {
  if (!isValidSubKey(subKey)) {
    errno = EINVAL;
    return std::nullopt;
  }
  const auto text = readWholeFile(keyPath(subKey));
  if (!text) return std::nullopt;
  KeyFileContents contents = RegistryKeyFile::parse(*text);
  if (unreadable != nullptr) *unreadable = std::move(contents.unreadable);
  return std::move(contents.values);
}

bool RegistryHive::writeValues(const std::string& subKey,
                               const std::vector<RegistryValue>& values) {
  if (!isValidSubKey(subKey)) {
    errno = EINVAL;
    return false;
  }
  std::lock_guard lock(keyFileMutex());
  return writeKeyFile(keyPath(subKey), values);
}

bool RegistryHive::setValue(const std::string& subKey, const RegistryValue& value) {
  return setValues(subKey, {value});
}

bool RegistryHive::setValues(const std::string& subKey, const std::vector<RegistryValue>& values) {
  if (!isValidSubKey(subKey)) {
    errno = EINVAL;
    return false;
  }
  std::lock_guard lock(keyFileMutex());
  std::vector<RegistryValue> current;
  std::vector<UnreadableKeyLine> unreadable;
  if (keyExists(subKey)) {
    auto existing = readValues(subKey, &unreadable);
    if (!existing) return false;
    current = std::move(*existing);
  }
  // One look-up per value: a configuration of tens of thousands of keys saves in one pass.
  std::unordered_map<std::u16string, size_t> positions;
  positions.reserve(current.size() + values.size());
  for (size_t i = 0; i < current.size(); ++i) positions.try_emplace(current[i].name, i);
  for (const auto& value : values) {
    const auto [at, added] = positions.try_emplace(value.name, current.size());
    if (added) {
      current.push_back(value);
    } else {
      current[at->second] = value;
    }
  }
  return writeKeyFile(keyPath(subKey), current, unreadable);
}

bool RegistryHive::deleteValue(const std::string& subKey, const std::u16string& name) {
  std::lock_guard lock(keyFileMutex());
  std::vector<UnreadableKeyLine> unreadable;
  auto values = readValues(subKey, &unreadable);
  if (!values) return false;
  for (auto it = values->begin(); it != values->end(); ++it) {
    if (it->name == name) {
      const size_t position = static_cast<size_t>(it - values->begin());
      values->erase(it);
      for (auto& line : unreadable) {
        if (line.valuesBefore > position) --line.valuesBefore;
      }
      return writeKeyFile(keyPath(subKey), *values, unreadable);
    }
  }
  errno = ENOENT;
  return false;
}

}  // namespace parlane
