#include "rip/cleanup_ripped_files.h"

#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "platform/log/diagnostic_log.h"
#include "rip/library_folders.h"
#include "rip/write_rip_log.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using platform::log::diagnostic;

void removeLoggingEmptyFolder(const fs::path& folder) {
  if (removeFolderIfEmpty(folder)) {
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

void CleanupRippedFiles::operator()(const std::vector<fs::path>& files,
                                    bool importSavedArtistPicture) const {
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
    removeIgnoringFailure(album / kRipLogName);
    removeLoggingEmptyFolder(album);

    const fs::path artist = album.parent_path();
    if (importSavedArtistPicture) {
      removeLoneArtistPicture(artist);
    }
    removeLoggingEmptyFolder(artist);
  }
}

}  // namespace noru::rip
