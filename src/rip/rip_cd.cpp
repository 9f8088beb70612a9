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

void createAlbumFolder(const AlbumFolder& album) {
  try {
    album.create();
    diagnostic("RipCD: output directory ready at ", album.path());
  } catch (const fs::filesystem_error& error) {
    // The first track's file then fails to be written, and ends the import.
    diagnostic("RipCD: failed to create output directory: ", error.what());
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

void writeLog(RipLog log, const TrackVerifications& verifications, AlbumFolder& album) {
  log.answer = verifications.answer();
  const auto verdicts = verifications.verdicts();
  for (auto& track : log.tracks) {
    if (const auto found = verdicts.find(track.track.number); found != verdicts.end()) {
      track.verdict = found->second;
    }
  }
  if (auto failure = writeRipLog(log, album)) {
    // The tracks are complete and good; only their record is missing.
    diagnostic("RipCD: failed to write the rip log \u2014 ", *failure);
  }
}

}  // namespace

RipCD::RipCD(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
             const platform::http::WebServices& services,
             FetchArtistImage::SecondSource artistPictureSource)
    : ripTrack(drives),
      fetchCoverArt_(services),
      fetchArtistImage_(services, std::move(artistPictureSource)),
      findReadOffset_(services),
      lookUpAccurateRip_(drives, services) {}

void RipCD::operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                       const std::optional<disc::CDLookupRelease>& release, AlbumFolder& album,
                       const state::Dispatch& dispatch, std::stop_token stop) const {
  const auto total = static_cast<std::int64_t>(tracks.size());
  diagnostic("RipCD: starting rip \u2014 ", total, " track(s) from '", drive.name, "' \u2192 ",
             album.path());
  createAlbumFolder(album);

  auto stopped = [&](const std::string& line) {
    diagnostic(line);
    album.keepFinished();
    report(dispatch, ripStopped{});
  };

  // Every read depends on the drive's read offset, so it comes first; the database lookup then
  // runs beside the pictures and the reads.
  RipLog log{.date = std::chrono::system_clock::now(), .drive = drive, .tableOfContents = tracks};
  try {
    log.readOffset = findReadOffset_(drive, stop);
  } catch (const platform::tasks::CancellationError&) {
    return stopped("RipCD: cancelled before track 1");
  }
  diagnostic("RipCD: read offset ", log.readOffset.samples,
             log.readOffset.isKnown() ? "" : " (unknown, reading uncorrected)");
  TrackVerifications verifications(dispatch);
  std::optional<DatabaseLookup> lookup;
  if (log.readOffset.isKnown()) {
    lookup.emplace(lookUpAccurateRip_, drive.bsdPath, verifications, stop);
  } else {
    verifications.answered(
        {.status = AccurateRipAnswer::Status::notAsked, .failure = "the read offset is unknown"});
  }
  const RipCDTrack readTrack = withReadOffset(ripTrack, log.readOffset.samples, tracks);

  std::optional<std::vector<std::uint8_t>> artwork;
  if (release) {
    if (release->caaId && release->caaReleaseMbid) {
      artwork = fetchCoverArt_(*release->caaId, *release->caaReleaseMbid, album, stop);
    }
    if (release->artistMbid) {
      fetchArtistImage_(*release->artistMbid, album, stop);
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
      file = readTrack(drive, track, metadata, album, progress, stop,
                       [&checksums](std::span<const std::uint8_t> audio) { checksums.add(audio); });
    } catch (const platform::tasks::CancellationError&) {
      return stopped("RipCD: cancelled during track " + std::to_string(number));
    } catch (const std::exception& error) {
      // An import that was stopped ends as stopped whatever broke on the way out (a read of a
      // disc that was just ejected, say).
      if (stop.stop_requested()) {
        return stopped("RipCD: cancelled during track " + std::to_string(number));
      }
      diagnostic("RipCD: track ", number, " failed \u2014 ", error.what());
      album.undo();
      report(dispatch, ripFailed{error.what()});
      return;
    }

    diagnostic("RipCD: track ", number, " complete \u2192 ", file.filename());
    report(dispatch, trackRipComplete{number, file});
    // The tracks of the disc info are its audio tracks: `index` is the track's database entry.
    verifications.trackRipped(number, index, checksums.values());
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
  writeLog(std::move(log), verifications, album);
  if (!album.complete()) {
    return stopped("RipCD: the import's files were removed before it completed");
  }

  diagnostic("RipCD: all ", total, " track(s) ripped successfully");
  report(dispatch, ripComplete{});
}

}  // namespace noru::rip
