#pragma once

#include <optional>
#include <string>

#include "state/app_state.h"

namespace noru::ui {

// What the root view shows of the application state.
struct RootViewState {
  std::optional<std::string> libraryPath;
  bool isManualEntryPresented = false;

  bool operator==(const RootViewState&) const = default;

  static RootViewState observe(const state::AppState& state) {
    return {state.settings.libraryPath, state.ui.isCDManualEntryPresented};
  }
};

}  // namespace noru::ui
