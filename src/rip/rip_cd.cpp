#include "rip/rip_cd.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <system_error>

#include "accuraterip/offset_corrected_audio_device.h"
#include "accuraterip/track_checksums.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"
#include "rip/library_folders.h"
#include "rip/track_verifications.h"
#include "rip/write_rip_log.h"

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

// The AccurateRip lookup of an import, on a task of its own beside the reads, handing its
// answer to `verifications`. A stop of the import reaches it; however the import ends, the
// lookup is cancelled if it still runs and its thread joined.
class DatabaseLookup {
 public:
  DatabaseLookup(const LookUpAccurateRip& lookUp, const std::string& bsdName,
                 TrackVerifications& verifications, const std::stop_token& importStop)
      : task_(platform::tasks::taskRunner().spawn(
            [lookUp, bsdName, &verifications](std::stop_token stop) {
              verifications.answered(lookUp(bsdName, std::move(stop)));
            })),
        passStopOn_(importStop, [handle = task_.handle()]() mutable { handle.cancel(); }) {}
  ~DatabaseLookup() {
    task_.cancel();
    if (!waited_) {
      try {
        task_.value();
      } catch (...) {  // cancelled: nothing to hand on
      }
    }
  }
  DatabaseLookup(const DatabaseLookup&) = delete;
  DatabaseLookup& operator=(const DatabaseLookup&) = delete;

  // Waits for the answer. Raises CancellationError when the import was stopped meanwhile.
  void wait() {
    waited_ = true;
    task_.value();
  }

 private:
  platform::tasks::Task<void> task_;
  std::stop_callback<std::function<void()>> passStopOn_;
  bool waited_ = false;
};

// `ripTrack` reading the disc of `tracks` through the drive's read offset; with offset 0 the
// reads stay exactly as they are.
RipCDTrack withReadOffset(RipCDTrack ripTrack, std::int32_t samples,
                          const std::vector<disc::CDTrackInfo>& tracks) {
  if (samples != 0) {
    std::int32_t leadOut = 0;  // the first sector after the last audio track
    for (const auto& track : tracks) {
      leadOut = std::max(leadOut, track.startSector + track.sectorCount);
    }
    ripTrack.readSectors.device = std::make_shared<accuraterip::OffsetCorrectedAudioDevice>(
        ripTrack.readSectors.device, samples, leadOut);
  }
  return ripTrack;
}

void writeLog(RipLog log, const TrackVerifications& verifications, const fs::path& albumFolder) {
  log.answer = verifications.answer();
  const auto verdicts = verifications.verdicts();
  for (auto& track : log.tracks) {
    if (const auto found = verdicts.find(track.track.number); found != verdicts.end()) {
      track.verdict = found->second;
    }
  }
  try {
    writeRipLog(log, albumFolder / kRipLogName);
  } catch (const std::exception& error) {
    // The tracks are complete and good; only their record is missing.
    diagnostic("RipCD: failed to write the rip log — ", error.what());
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

  SavedPictures saved;
  auto stopped = [&](const std::string& line) {
    diagnostic(line);
    tidyFoldersAfterStop(albumFolder, saved);
    report(dispatch, ripStopped{});
  };

  // Every read depends on the drive's read offset, so it comes first; the database lookup then
  // runs beside the pictures and the reads.
  RipLog log{.date = std::chrono::system_clock::now(), .drive = drive, .tableOfContents = tracks};
  try {
    log.readOffset = findReadOffset(drive, stop);
  } catch (const platform::tasks::CancellationError&) {
    return stopped("RipCD: cancelled before track 1");
  }
  diagnostic("RipCD: read offset ", log.readOffset.samples,
             log.readOffset.isKnown() ? "" : " (unknown, reading uncorrected)");
  TrackVerifications verifications(dispatch);
  std::optional<DatabaseLookup> lookup;
  if (log.readOffset.isKnown()) {
    lookup.emplace(lookUpAccurateRip, drive.bsdPath, verifications, stop);
  } else {
    verifications.answered({.status = AccurateRipAnswer::Status::notAsked});
  }
  const RipCDTrack readTrack = withReadOffset(ripTrack, log.readOffset.samples, tracks);

  std::optional<std::vector<std::uint8_t>> artwork;
  if (release) {
    if (release->caaId && release->caaReleaseMbid) {
      artwork = fetchCoverArt(*release->caaId, *release->caaReleaseMbid, albumFolder, stop);
      saved.cover = artwork.has_value();
    }
    if (release->artistMbid) {
      saved.artistPicture = fetchArtistImage(*release->artistMbid, albumFolder.parent_path(), stop);
    }
  }

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

    // Its checksums are taken from the audio as it is read: the first and the last audio track
    // leave out the samples near the disc's ends.
    accuraterip::TrackChecksums checksums(
        std::int64_t{track.sectorCount} * accuraterip::TrackChecksums::kSamplesPerSector,
        index == 0, index + 1 == tracks.size());
    fs::path file;
    try {
      file = readTrack(drive, track, metadata, albumFolder, progress, stop,
                       [&checksums](std::span<const std::uint8_t> audio) { checksums.add(audio); });
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
    verifications.trackRipped(number, track.startSector, checksums.values());
    log.tracks.push_back({.track = track, .file = file, .checksums = checksums.values()});
  }

  // The last verdicts wait for the database's answer, if it has not come yet.
  try {
    if (lookup) {
      lookup->wait();
    }
  } catch (const platform::tasks::CancellationError&) {
    return stopped("RipCD: cancelled while waiting for the AccurateRip answer");
  }
  if (stop.stop_requested()) {
    return stopped("RipCD: cancelled before the rip log");
  }
  writeLog(std::move(log), verifications, albumFolder);

  diagnostic("RipCD: all ", total, " track(s) ripped successfully");
  report(dispatch, ripComplete{});
}

}  // namespace noru::rip
