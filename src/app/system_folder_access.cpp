#include "app/system_folder_access.h"

#include <unistd.h>

namespace noru::app {

bool SystemFolderAccess::startAccessing(const std::filesystem::path& folder) {
  return ::access(folder.c_str(), R_OK | W_OK | X_OK) == 0;
}

}  // namespace noru::app
