#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "state/app_state.h"

namespace noru::ui {

// What the ripping view shows of the application state.
struct CDRipViewState {
  std::vector<disc::CDDrive> drives;
  std::optional<disc::CDDrive> selectedDrive;
  std::optional<disc::CDDiscInfo> discInfo;
  bool isRipping = false;
  std::int64_t currentTrack = 0;
  std::int64_t totalTracks = 0;
  double overallProgress = 0.0;
  double trackProgress = 0.0;
  bool readingAgain = false;
  std::optional<std::string> error;
  std::optional<std::string> libraryPath;
  bool isLookingUp = false;
  std::optional<std::string> lookupDiscId;
  std::vector<disc::CDLookupRelease> lookupReleases;
  std::optional<disc::CDLookupRelease> selectedRelease;
  std::optional<std::string> lookupError;
  state::ImportOutcome lastImport;

  bool operator==(const CDRipViewState&) const = default;

  static CDRipViewState observe(const state::AppState& state) {
    const auto& rip = state.cdRip;
    return {rip.drives,
            rip.selectedDrive,
            rip.discInfo,
            rip.isRipping,
            rip.currentTrack,
            rip.totalTracks,
            rip.overallProgress,
            rip.trackProgress,
            rip.readingAgain,
            rip.error,
            state.settings.libraryPath,
            rip.isLookingUp,
            rip.lookupDiscId,
            rip.lookupReleases,
            rip.selectedRelease,
            rip.lookupError,
            rip.lastImport};
  }
};

}  // namespace noru::ui
