#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "disc/cd_track_info.h"
#include "rip/fetch_artist_image.h"
#include "rip/fetch_cover_art.h"
#include "rip/rip_cd_track.h"
#include "state/app_store.h"

namespace noru::rip {

// Imports a whole disc into its album folder (library / artist / album): creates the folder,
// fetches the cover and the artist's picture, then rips the tracks one after another. Every
// step and the outcome are reported as ripping actions through `dispatch`; it ends with exactly
// one of ripComplete, ripStopped (its task was cancelled) or ripFailed, and raises nothing.
class RipCD {
 public:
  // Reads from `drives`.
  explicit RipCD(std::shared_ptr<platform::linux_cd::AudioDevice> drives)
      : ripTrack(std::move(drives)) {}

  void operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                  const std::optional<disc::CDLookupRelease>& release,
                  const std::filesystem::path& albumFolder, const state::Dispatch& dispatch,
                  std::stop_token stop) const;

  RipCDTrack ripTrack;
  FetchCoverArt fetchCoverArt;
  FetchArtistImage fetchArtistImage;
};

}  // namespace noru::rip
