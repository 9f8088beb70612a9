#include "app/restore_library_path.h"

#include "app/folder_bookmark.h"

namespace noru::app {

std::optional<std::string> restoreLibraryPath(const Preferences& preferences,
                                              FolderAccessHolder& folderAccess) {
  const std::optional<std::vector<std::uint8_t>> bookmark = preferences.outputFolderBookmark();
  if (!bookmark) {
    return std::nullopt;
  }
  const std::optional<ResolvedFolderBookmark> resolved = resolveFolderBookmark(*bookmark);
  if (!resolved || resolved->stale) {
    return std::nullopt;
  }
  folderAccess.beginAccess(resolved->folder);
  return resolved->folder.string();
}

}  // namespace noru::app
