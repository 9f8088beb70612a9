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
#include "platform/linux/optical_drives.h"
#include "rip/fetch_artist_image.h"
#include "rip/fetch_cover_art.h"
#include "rip/find_read_offset.h"
#include "rip/look_up_accurate_rip.h"
#include "rip/rip_cd_track.h"
#include "state/app_store.h"

namespace noru::rip {

// Imports a whole disc into its album folder (library / artist / album): creates the folder,
// fetches the cover and the artist's picture, then rips the tracks one after another, read
// with the drive's read offset applied where it is known. Meanwhile it asks the AccurateRip
// database about the disc and verifies each track with its answer; a complete import ends
// with the rip log (rip.log) in the album folder. Every step, each track's verdict and the
// outcome are reported as ripping actions through `dispatch`; it ends with exactly one of
// ripComplete, ripStopped (its task was cancelled) or ripFailed, and raises nothing.
class RipCD {
 public:
  // Reads from `drives` and asks them for the disc's full table of contents.
  explicit RipCD(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives)
      : ripTrack(drives) {
    lookUpAccurateRip.tocSource = drives;
  }

  void operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                  const std::optional<disc::CDLookupRelease>& release,
                  const std::filesystem::path& albumFolder, const state::Dispatch& dispatch,
                  std::stop_token stop) const;

  RipCDTrack ripTrack;
  FetchCoverArt fetchCoverArt;
  FetchArtistImage fetchArtistImage;
  FindReadOffset findReadOffset;
  LookUpAccurateRip lookUpAccurateRip;
};

}  // namespace noru::rip
