#pragma once
// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace comsweep::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

 private:
  std::filesystem::path m_path;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// The entries of `dir` whose names start with `prefix`.
std::vector<std::filesystem::path> filesStarting(const std::filesystem::path& dir, std::string_view prefix);
// Every file below `dir`, at any depth, with its bytes: what a run left or changed.
std::map<std::string, std::string> filesBelow(const std::filesystem::path& dir);

}  // namespace comsweep::test
