#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "state/app_store.h"
#include "ui/view_services.h"

namespace noru::ui {

// The sheet in which the user describes a disc the lookup did not identify: artist, album,
// track names and a cover picture, a look-up of the metadata service by text, and the import
// of the disc under what was entered. Its editing state lives and dies with one showing.
// Every way of closing it other than the state (Cancel, the close button, Escape, the window's
// own close) goes through Cancel, which dispatches setCDManualEntryPresented(false) once.
class CDManualEntryView : public QDialog {
 public:
  // Asks the user for one image file; nothing when cancelled.
  using ChooseImageFile = std::function<std::optional<QString>(QWidget* parent)>;

  CDManualEntryView(std::shared_ptr<state::AppStore> store, ViewServices services,
                    QWidget* parent = nullptr);
  ~CDManualEntryView() override;

  void reject() override;

  ChooseImageFile chooseImageFile;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace noru::ui
