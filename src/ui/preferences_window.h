#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "state/app_state.h"
#include "state/app_store.h"
#include "store/subscription.h"

class QCheckBox;
class QComboBox;

namespace noru::ui {

class ElidedLabel;

// What the preferences window shows of the application state.
struct PreferencesViewState {
  std::optional<std::string> libraryPath;
  state::ImportPreferences import;

  bool operator==(const PreferencesViewState&) const = default;

  static PreferencesViewState observe(const state::AppState& state) {
    return {state.settings.libraryPath, state.settings.import};
  }
};

// The preferences of the next imports: the library folder (chosen with the same picker as the
// main window's), the format of the track files, whether tracks that no database confirms
// are read a second time, whether the disc is ejected once its import completes, and whether the
// desktop is told when an import ends while the window is in the background. A change
// applies at once, as desktop preferences do: it is handed to `apply`, which records it; an import
// that is running keeps what it started with.
class PreferencesWindow : public QDialog {
 public:
  using Apply = std::function<void(const state::ImportPreferences&)>;

  PreferencesWindow(std::shared_ptr<state::AppStore> store, std::function<void()> chooseFolder,
                    Apply apply, QWidget* parent = nullptr);

 private:
  void render(const PreferencesViewState& state);
  state::ImportPreferences chosen() const;

  std::shared_ptr<state::AppViewStore<PreferencesViewState>> viewStore_;
  Apply apply_;
  ElidedLabel* folder_;
  QComboBox* format_;
  QCheckBox* readTwice_;
  QCheckBox* eject_;
  QCheckBox* notify_;
  store::Subscription changes_;
};

}  // namespace noru::ui
