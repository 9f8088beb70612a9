#pragma once

#include <filesystem>
#include <optional>

namespace noru::app {

// Asks the user for one existing folder.
class FolderDialog {
 public:
  virtual ~FolderDialog() = default;

  // Nothing when the user cancelled or chose nothing.
  virtual std::optional<std::filesystem::path> chooseFolder() = 0;
};

}  // namespace noru::app
