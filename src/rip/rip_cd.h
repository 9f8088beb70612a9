#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <utility>
#include <vector>

#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "disc/cd_track_info.h"
#include "platform/http/web_services.h"
#include "platform/linux/optical_drives.h"
#include "rip/album_folder.h"
#include "rip/fetch_artist_image.h"
#include "rip/fetch_cover_art.h"
#include "rip/find_read_offset.h"
#include "rip/look_up_accurate_rip.h"
#include "rip/look_up_ctdb.h"
#include "rip/overlapped_writes.h"
#include "rip/repair_from_ctdb.h"
#include "rip/rip_cd_track.h"
#include "state/app_store.h"

namespace noru::rip {

// Imports a whole disc into its album folder (library / artist / album): creates the folder,
// fetches the cover and the artist's picture, then reads the tracks one after another while
// their files are written beside the reads (see ReadTracks), read with the drive's read offset
// applied where it is known. Meanwhile it asks the AccurateRip database about the disc and
// verifies each track with its answer, and the CUETools database, whose CRCs it checks once the
// whole disc is read, at any read offset (a track it holds is accurate whatever AccurateRip
// says). A track that AccurateRip turns down is read a second time and compared at once; one
// read before its answer came, after the first pass, unless either database confirms it. A sector
// that cannot be read makes its track damaged, not the import failed; a medium or drive that is
// gone fails it. A complete import ends with the rip log in the album folder. Every step, each
// track's verdict and damage and the outcome are reported as ripping actions through `dispatch`; it
// ends with exactly one of ripComplete, ripStopped (its task was cancelled: the finished tracks
// stay) or ripFailed (nothing of the import is left), and raises nothing. What stays in the album
// folder is the album folder's decision (AlbumFolder), whoever ends the import.
class RipCD {
 public:
  // Reads from `drives` and asks them for the disc's full table of contents; reaches the web
  // through `services`, and finds an artist's picture through `artistPictureSource` when the
  // metadata service cannot be reached.
  RipCD(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
        const platform::http::WebServices& services,
        FetchArtistImage::SecondSource artistPictureSource = {});

  // `facts`, what the disc said of itself when it was inserted, gives the files its barcode;
  // each track's ISRC is read from the drive as the import starts.
  void operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                  const std::optional<disc::CDLookupRelease>& release, AlbumFolder& album,
                  const state::Dispatch& dispatch, std::stop_token stop,
                  const platform::linux_cd::DiscFacts& facts = {}) const;

  // The rip of each track; its encoder and its tagging may be replaced.
  RipCDTrack ripTrack;
  // How many files are written at once beside the reads, and how much audio they may hold.
  OverlappedWrites::Bounds writeBounds = OverlappedWrites::Bounds::ofMachine();
  // Whether a track that no database confirms is read a second time and compared.
  bool readUnconfirmedTwice = true;
  // How long the CUETools database's answer is waited for once the reads are done.
  std::chrono::milliseconds ctdbPatience = std::chrono::seconds(5);

 private:
  std::shared_ptr<platform::linux_cd::AudioDevice> drives_;
  std::shared_ptr<platform::linux_cd::FullTocSource> discFacts_;
  FetchCoverArt fetchCoverArt_;
  FetchArtistImage fetchArtistImage_;
  FindReadOffset findReadOffset_;
  LookUpAccurateRip lookUpAccurateRip_;
  LookUpCTDB lookUpCTDB_;
  RepairFromCTDB repairFromCTDB_;
};

}  // namespace noru::rip
