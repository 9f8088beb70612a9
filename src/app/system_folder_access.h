#pragma once

#include "app/folder_access.h"

namespace noru::app {

// Nothing confines the process, so there is no access to open: access is granted when the
// folder can be listed, read and written, and there is nothing to close.
class SystemFolderAccess final : public FolderAccess {
 public:
  bool startAccessing(const std::filesystem::path& folder) override;
  void stopAccessing(const std::filesystem::path&) override {}
};

}  // namespace noru::app
