#pragma once

#include "state/cd_rip_state.h"
#include "state/settings_state.h"
#include "state/ui_state.h"

namespace noru::state {

struct AppState {
  CDRipState cdRip = initialCDRipState();
  SettingsState settings;
  UIState ui;

  bool operator==(const AppState&) const = default;
};

}  // namespace noru::state
