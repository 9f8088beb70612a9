#include "rip/rip_cd.h"

#include <cstdint>
#include <string>
#include <system_error>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/library_folders.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using platform::log::diagnostic;
using namespace state::CDRipActions;

void report(const state::Dispatch& dispatch, state::CDRipAction action) {
  dispatch(state::AnyAction{std::move(action)});
}

std::optional<std::string> titleOfTrack(const std::optional<disc::CDLookupRelease>& release,
                                        std::int64_t number) {
  if (!release) {
    return std::nullopt;
  }
  for (const auto& track : release->tracks) {
    if (track.number == number) {
      return track.title;
    }
  }
  return std::nullopt;
}

void createAlbumFolder(const fs::path& albumFolder) {
  std::error_code error;
  fs::create_directories(albumFolder, error);
  if (error) {
    diagnostic("RipCD: failed to create output directory: ",
               fs::filesystem_error("cannot create directory", albumFolder, error).what());
    return;
  }
  diagnostic("RipCD: output directory ready at ", albumFolder);
}

// The pictures an import saved itself (not ones that were there before it).
struct SavedPictures {
  bool cover = false;
  bool artistPicture = false;
};

// After a stop, takes away the album and artist folders when this import leaves nothing of
// value in them: an album folder holding only the cover this import saved, or nothing at all,
// and an artist folder holding only the picture this import saved.
void tidyFoldersAfterStop(const fs::path& albumFolder, SavedPictures saved) {
  if (saved.cover) {
    const auto entries = folderEntries(albumFolder);
    if (entries && entries->size() == 1 && entries->front().filename() == "cover.jpg") {
      std::error_code ignored;
      fs::remove(albumFolder / "cover.jpg", ignored);
    }
  }
  if (removeFolderIfEmpty(albumFolder)) {
    diagnostic("RipCD: removed empty directory ", albumFolder.filename());
  }
  const fs::path artistFolder = albumFolder.parent_path();
  if (saved.artistPicture) {
    removeLoneArtistPicture(artistFolder);
  }
  if (removeFolderIfEmpty(artistFolder)) {
    diagnostic("RipCD: removed empty directory ", artistFolder.filename());
  }
}

}  // namespace

void RipCD::operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                       const std::optional<disc::CDLookupRelease>& release,
                       const fs::path& albumFolder, const state::Dispatch& dispatch,
                       std::stop_token stop) const {
  const auto total = static_cast<std::int64_t>(tracks.size());
  diagnostic("RipCD: starting rip — ", total, " track(s) from '", drive.name, "' → ", albumFolder);
  createAlbumFolder(albumFolder);

  std::optional<std::vector<std::uint8_t>> artwork;
  SavedPictures saved;
  if (release) {
    if (release->caaId && release->caaReleaseMbid) {
      artwork = fetchCoverArt(*release->caaId, *release->caaReleaseMbid, albumFolder, stop);
      saved.cover = artwork.has_value();
    }
    if (release->artistMbid) {
      saved.artistPicture = fetchArtistImage(*release->artistMbid, albumFolder.parent_path(), stop);
    }
  }

  auto stopped = [&](const std::string& line) {
    diagnostic(line);
    tidyFoldersAfterStop(albumFolder, saved);
    report(dispatch, ripStopped{});
  };

  for (std::size_t index = 0; index < tracks.size(); ++index) {
    const disc::CDTrackInfo& track = tracks[index];
    const auto number = track.number;
    if (stop.stop_requested()) {
      return stopped("RipCD: cancelled before track " + std::to_string(number));
    }
    diagnostic("RipCD: starting track ", number, " of ", total);
    report(dispatch, trackRipStarted{number});

    const TrackMetadata metadata{
        .trackTitle = titleOfTrack(release, number),
        .albumTitle = release ? std::optional(release->title) : std::nullopt,
        .albumArtist = release ? std::optional(release->artistCredit) : std::nullopt,
        .trackTotal = total,
        .artwork = artwork,
    };
    auto progress = [&dispatch, number](double fraction) {
      report(dispatch, trackRipProgress{number, fraction});
    };

    fs::path file;
    try {
      file = ripTrack(drive, track, metadata, albumFolder, progress, stop);
    } catch (const platform::tasks::CancellationError&) {
      return stopped("RipCD: cancelled during track " + std::to_string(number));
    } catch (const std::exception& error) {
      // An import that was stopped ends as stopped whatever broke on the way out (a read of a
      // disc that was just ejected, say): a late failure must not clean up another import.
      if (stop.stop_requested()) {
        return stopped("RipCD: cancelled during track " + std::to_string(number));
      }
      diagnostic("RipCD: track ", number, " failed — ", error.what());
      report(dispatch, ripFailed{error.what()});
      return;
    }

    diagnostic("RipCD: track ", number, " complete → ", file.filename());
    report(dispatch, trackRipComplete{number, file});
  }

  diagnostic("RipCD: all ", total, " track(s) ripped successfully");
  report(dispatch, ripComplete{});
}

}  // namespace noru::rip
