#include "rip/cleanup_ripped_files.h"

#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using platform::log::diagnostic;

// The entries of `folder`, hidden ones included; nullopt when it cannot be listed.
std::optional<std::vector<fs::path>> entriesOf(const fs::path& folder) {
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

void removeIfEmpty(const fs::path& folder) {
  const auto entries = entriesOf(folder);
  if (!entries || !entries->empty()) {
    return;
  }
  std::error_code error;
  if (fs::remove(folder, error)) {
    diagnostic("CleanupRippedFiles: removed empty directory ", folder.filename());
  }
}

void removeIgnoringFailure(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

// Removes one track file; the text of the failure, if any.
std::optional<std::string> removeTrackFile(const fs::path& file) {
  std::error_code error;
  if (fs::remove(file, error)) {
    return std::nullopt;
  }
  // Removing a file that is not there is a failure too: the import reported it written.
  if (!error) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  }
  return fs::filesystem_error("cannot remove", file, error).what();
}

}  // namespace

void CleanupRippedFiles::operator()(const std::vector<fs::path>& files) const {
  std::set<fs::path> albumFolders;
  for (const auto& file : files) {
    if (auto failure = removeTrackFile(file)) {
      diagnostic("CleanupRippedFiles: failed to delete ", file.filename(), ": ", *failure);
      continue;
    }
    diagnostic("CleanupRippedFiles: deleted ", file.filename());
    albumFolders.insert(file.parent_path());
  }

  for (const auto& album : albumFolders) {
    removeIgnoringFailure(album / "cover.jpg");
    removeIfEmpty(album);

    const fs::path artist = album.parent_path();
    const auto entries = entriesOf(artist);
    if (entries && entries->size() == 1 && entries->front().filename() == "folder.jpg") {
      removeIgnoringFailure(artist / "folder.jpg");
    }
    removeIfEmpty(artist);
  }
}

}  // namespace noru::rip
