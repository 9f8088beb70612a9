#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

#include "state/app_store.h"
#include "store/subscription.h"
#include "ui/root_view_state.h"
#include "ui/view_services.h"

namespace noru::ui {

class CDManualEntryView;
class ElidedLabel;

// The window's content: a header with the logo, the library folder and "Choose…", a divider,
// and the ripping view; it presents the manual-entry sheet while the state says so.
class RootView : public QWidget {
 public:
  RootView(std::shared_ptr<state::AppStore> store, ViewServices services,
           std::function<void()> chooseOutputFolder, QWidget* parent = nullptr);
  ~RootView() override;

  // The library folder as the header shows it: "~" for the home folder, the full path
  // elsewhere, "No output folder selected" without one.
  static QString folderText(const std::optional<std::string>& libraryPath, const QString& home);

 private:
  void render(const RootViewState& state);
  void presentManualEntry(bool presented);

  std::shared_ptr<state::AppStore> store_;
  ViewServices services_;
  std::shared_ptr<state::AppViewStore<RootViewState>> viewStore_;
  store::Subscription changes_;
  ElidedLabel* folderLabel_;
  QPointer<CDManualEntryView> manualEntry_;
};

}  // namespace noru::ui
