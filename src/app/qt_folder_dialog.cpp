#include "app/qt_folder_dialog.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QStringList>

namespace noru::app {

std::optional<std::filesystem::path> QtFolderDialog::chooseFolder() {
  QFileDialog dialog(parent_,
                     QCoreApplication::translate("QtFolderDialog",
                                                 "Choose where ripped CD files should be saved."));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setLabelText(QFileDialog::Accept, QCoreApplication::translate("QtFolderDialog", "Select"));
  dialog.setModal(true);
  if (dialog.exec() != QDialog::Accepted) {
    return std::nullopt;
  }
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) {
    return std::nullopt;
  }
  // File names are bytes; encodeName gives back the ones the system uses.
  return std::filesystem::path(QFile::encodeName(chosen.first()).toStdString());
}

}  // namespace noru::app
