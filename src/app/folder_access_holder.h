#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "app/folder_access.h"
#include "app/system_folder_access.h"

namespace noru::app {

// Keeps access to the library folder open while the application runs: at most one folder at a
// time, closed when another one replaces it or the holder goes away. Main thread only.
class FolderAccessHolder {
 public:
  explicit FolderAccessHolder(
      std::shared_ptr<FolderAccess> access = std::make_shared<SystemFolderAccess>());
  ~FolderAccessHolder();
  FolderAccessHolder(const FolderAccessHolder&) = delete;
  FolderAccessHolder& operator=(const FolderAccessHolder&) = delete;

  // Does nothing when `folder` is already the one accessed. Otherwise closes the current access
  // and opens `folder`'s; when that is refused no folder is accessed.
  void beginAccess(const std::filesystem::path& folder);

  const std::optional<std::filesystem::path>& current() const { return current_; }

 private:
  void endAccess();

  std::shared_ptr<FolderAccess> access_;
  std::optional<std::filesystem::path> current_;
};

}  // namespace noru::app
