#pragma once

#include <optional>
#include <string>

#include "app/folder_access_holder.h"
#include "app/preferences.h"

namespace noru::app {

// The library folder chosen in an earlier run, found by its stored bookmark alone, with access
// to it opened. Nothing on a first run, when the bookmark cannot be read or its folder is gone,
// and when the folder there is no longer the one chosen (then the bookmark is left as stored,
// so the user chooses again). Main thread only.
std::optional<std::string> restoreLibraryPath(const Preferences& preferences,
                                              FolderAccessHolder& folderAccess);

}  // namespace noru::app
