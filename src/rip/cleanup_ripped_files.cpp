#include "rip/cleanup_ripped_files.h"

#include <optional>
#include <string>
#include <system_error>

#include "platform/log/diagnostic_log.h"
#include "rip/library_folders.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using platform::log::diagnostic;

// Removes one file the import created; the text of the failure, if any.
std::optional<std::string> removeCreatedFile(const fs::path& file) {
  std::error_code error;
  if (fs::remove(file, error)) {
    return std::nullopt;
  }
  // Removing a file that is not there is a failure too: the import placed it.
  if (!error) {
    error = std::make_error_code(std::errc::no_such_file_or_directory);
  }
  return fs::filesystem_error("cannot remove", file, error).what();
}

void removeLoggingEmptyFolder(const fs::path& folder) {
  if (removeFolderIfEmpty(folder)) {
    diagnostic("CleanupRippedFiles: removed empty directory ", folder.filename());
  }
}

}  // namespace

void CleanupRippedFiles::operator()(const fs::path& albumFolder,
                                    const AlbumChanges& changes) const {
  for (const auto& [file, keptAside] : changes.replaced) {
    std::error_code error;
    fs::rename(keptAside, file, error);
    if (error) {
      diagnostic("CleanupRippedFiles: failed to put back ", file.filename(), ": ",
                 fs::filesystem_error("cannot rename", keptAside, file, error).what());
    } else {
      diagnostic("CleanupRippedFiles: put back ", file.filename());
    }
  }
  for (const auto& file : changes.created) {
    if (auto failure = removeCreatedFile(file)) {
      diagnostic("CleanupRippedFiles: failed to delete ", file.filename(), ": ", *failure);
    } else {
      diagnostic("CleanupRippedFiles: deleted ", file.filename());
    }
  }
  removeLoggingEmptyFolder(albumFolder);
  const fs::path artistFolder = albumFolder.parent_path();
  if (changes.savedArtistPicture) {
    removeIfAlone(*changes.savedArtistPicture);
  }
  removeLoggingEmptyFolder(artistFolder);
}

}  // namespace noru::rip
