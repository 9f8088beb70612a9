#pragma once

#include <optional>
#include <string>

#include "disc/cd_disc_info.h"
#include "state/app_state.h"

namespace noru::ui {

// What the manual-entry sheet reads of the application state.
struct CDManualEntryViewState {
  std::optional<disc::CDDiscInfo> discInfo;
  std::optional<std::string> libraryPath;
  bool lookupOfferedReleases = false;

  bool operator==(const CDManualEntryViewState&) const = default;

  static CDManualEntryViewState observe(const state::AppState& state) {
    return {state.cdRip.discInfo, state.settings.libraryPath, !state.cdRip.lookupReleases.empty()};
  }
};

}  // namespace noru::ui
