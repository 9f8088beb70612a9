#pragma once

#include "app/folder_dialog.h"

class QWidget;

namespace noru::app {

// A modal Qt file dialog that chooses one existing directory, over `parent` when one is given.
class QtFolderDialog final : public FolderDialog {
 public:
  explicit QtFolderDialog(QWidget* parent = nullptr) : parent_(parent) {}

  std::optional<std::filesystem::path> chooseFolder() override;

 private:
  QWidget* parent_;
};

}  // namespace noru::app
