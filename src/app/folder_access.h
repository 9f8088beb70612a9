#pragma once

#include <filesystem>

namespace noru::app {

// Opens and closes the application's access to a folder the user chose.
class FolderAccess {
 public:
  virtual ~FolderAccess() = default;

  // Whether access was granted.
  virtual bool startAccessing(const std::filesystem::path& folder) = 0;
  virtual void stopAccessing(const std::filesystem::path& folder) = 0;
};

}  // namespace noru::app
