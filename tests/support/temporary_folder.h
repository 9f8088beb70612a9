#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

namespace noru::testing {

// A fresh, empty folder under the system's temporary directory, removed with everything in it
// when the object goes away.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "noru-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The bytes of `file`; empty when it cannot be read.
inline std::string fileContents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file and folder under `folder` (none if it is absent), relative to it.
inline std::set<std::string> filesUnder(const std::filesystem::path& folder) {
  std::set<std::string> found;
  std::error_code absent;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, absent)) {
    found.insert(entry.path().lexically_relative(folder).string());
  }
  return found;
}

}  // namespace noru::testing
