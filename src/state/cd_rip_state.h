#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "state/import_outcome.h"

namespace noru::state {

// Everything about the drives, the current disc, its lookup and its import.
struct CDRipState {
  std::vector<disc::CDDrive> drives;
  std::optional<disc::CDDrive> selectedDrive;
  std::optional<disc::CDDiscInfo> discInfo;
  bool isRipping = false;
  std::int64_t currentTrack = 0;
  std::int64_t totalTracks = 0;
  double trackProgress = 0.0;
  // Each track counts half when read and half when its file is in place: the files of earlier
  // tracks are written while later ones are read.
  double overallProgress = 0.0;
  // How many tracks the first reads have gone through, the one being read in part.
  double tracksRead = 0.0;
  // The current track is being read a second time; its progress leaves the overall progress
  // where the first reads brought it.
  bool readingAgain = false;
  std::vector<std::filesystem::path> rippedFiles;
  std::optional<std::filesystem::path> ripOutputDirectory;
  std::optional<std::string> error;
  bool isDebugMode = false;
  bool isLookingUp = false;
  std::optional<std::string> lookupDiscId;
  std::vector<disc::CDLookupRelease> lookupReleases;
  std::optional<disc::CDLookupRelease> selectedRelease;
  std::optional<std::string> lookupError;
  // How the last import went: what the window shows of it.
  ImportOutcome lastImport;

  bool operator==(const CDRipState&) const = default;
};

// The one shared initial state, built on first use; start-up and debugClearDisc copy it.
const CDRipState& initialCDRipState();

}  // namespace noru::state
