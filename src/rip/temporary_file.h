#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace noru::rip {

// A random UUID in its upper-case text form (36 characters).
std::string upperCaseUUID();

// A file written under a name of its own until it is complete, so that a file of the same
// final name stays untouched until then. Unless it has been moved to its final name or
// released, destroying it removes it (a failure to remove is ignored).
class TemporaryFile {
 public:
  explicit TemporaryFile(std::filesystem::path path);
  // A hidden name beside `finalPath` that tells a user what it is about to become:
  // ".<final name>.<random>.part", the final name shortened when the whole would not fit.
  static TemporaryFile besideFile(const std::filesystem::path& finalPath);
  // The same with another ending than "part" (nothing is created).
  static TemporaryFile hiddenBeside(const std::filesystem::path& finalPath,
                                    std::string_view ending);

  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&&) = delete;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile();

  const std::filesystem::path& path() const { return path_; }

  // Moves the file over `finalPath` with one rename(2), replacing what was there. Raises
  // std::filesystem::filesystem_error; the temporary file is then still owned.
  void moveTo(const std::filesystem::path& finalPath);
  // Leaves the file where it is.
  void release() { owned_ = false; }

 private:
  std::filesystem::path path_;
  bool owned_ = true;
};

}  // namespace noru::rip
