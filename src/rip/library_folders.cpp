#include "rip/library_folders.h"

#include <system_error>

namespace noru::rip {

namespace fs = std::filesystem;

std::optional<std::vector<fs::path>> folderEntries(const fs::path& folder) {
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    return std::nullopt;
  }
  std::vector<fs::path> entries;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) {
      return std::nullopt;
    }
    entries.push_back(it->path());
  }
  if (error) {
    return std::nullopt;
  }
  return entries;
}

bool removeFolderIfEmpty(const fs::path& folder) {
  const auto entries = folderEntries(folder);
  if (!entries || !entries->empty()) {
    return false;
  }
  std::error_code error;
  return fs::remove(folder, error);
}

void removeIfAlone(const fs::path& file) {
  const auto entries = folderEntries(file.parent_path());
  if (entries && entries->size() == 1 && entries->front().filename() == file.filename()) {
    std::error_code ignored;
    fs::remove(file, ignored);
  }
}

}  // namespace noru::rip
