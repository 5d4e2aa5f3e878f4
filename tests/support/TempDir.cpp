#include "support/TempDir.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace parlane::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "parlane-test-XXXXXX").string();
  // Thrown: a test reports it as its failure, a benchmark ends with it.
  if (::mkdtemp(tmpl.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "can't make " + tmpl);
  }
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; make them writable so they can be removed.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }

void TempDir::write(const std::string& name, const std::string& bytes) const {
  std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path());
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string TempDir::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace parlane::test
