#pragma once

#include <QWidget>

#include <memory>

#include "state/app_store.h"
#include "ui/view_services.h"

namespace noru::ui {

// The ripping view: the drives, the inserted disc and what its lookup found, the release to
// import, the import's progress, its stop and its outcome, and the eject button. It reads the
// state through its own projection and changes it only by dispatching.
class CDRipView : public QWidget {
 public:
  CDRipView(std::shared_ptr<state::AppStore> store, ViewServices services,
            QWidget* parent = nullptr);
  ~CDRipView() override;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace noru::ui
