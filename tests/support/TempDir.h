#pragma once

#include <string>

namespace parlane::test {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

  // Helpers for fixtures.
  void write(const std::string& name, const std::string& bytes) const;
  std::string read(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace parlane::test
