#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/folder_access_holder.h"
#include "app/folder_bookmark.h"
#include "app/folder_dialog.h"
#include "app/preferences.h"
#include "state/app_store.h"

namespace noru::app {

// Asks the user for the library folder; when one is chosen, persists its path and bookmark,
// opens access to it and tells the store. Every field must be set. Main thread only.
struct OutputFolderPicker {
  using MakeBookmark =
      std::function<std::optional<std::vector<std::uint8_t>>(const std::filesystem::path&)>;

  std::shared_ptr<FolderDialog> dialog;
  std::shared_ptr<Preferences> preferences;
  std::shared_ptr<FolderAccessHolder> folderAccess;
  MakeBookmark makeBookmark = makeFolderBookmark;

  // Whether a folder was chosen. A folder that yields no bookmark is still recorded, and the
  // bookmark stored before stays as it was.
  bool operator()(const state::Dispatch& dispatch) const;
  bool operator()(state::AppStore& store) const;
};

}  // namespace noru::app
