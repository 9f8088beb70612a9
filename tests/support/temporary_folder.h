#pragma once

#include <filesystem>
#include <string>

namespace noru::testing {

// A fresh, empty folder under the system's temporary directory, removed with everything in it
// when the object goes away.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The bytes of `file`; empty when it cannot be read.
std::string fileContents(const std::filesystem::path& file);

}  // namespace noru::testing
