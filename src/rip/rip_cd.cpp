#include "rip/rip_cd.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <system_error>

#include "accuraterip/offset_corrected_audio_device.h"
#include "accuraterip/track_checksums.h"
#include "disc/disc_reader.h"
#include "disc/sector_stretch.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"
#include "rip/test_and_copy.h"
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

// The device that reads the disc of `tracks` where its audio really lies, given the drive's read
// offset; with offset 0 the reads stay exactly as they are.
std::shared_ptr<platform::linux_cd::AudioDevice> withReadOffset(
    std::shared_ptr<platform::linux_cd::AudioDevice> device, std::int32_t samples,
    disc::SectorStretch audio) {
  if (samples == 0) {
    return device;
  }
  return std::make_shared<accuraterip::OffsetCorrectedAudioDevice>(std::move(device), samples,
                                                                   audio.end());
}

// Where the disc's audio tracks lie, from the first one's start to the last one's end.
disc::SectorStretch audioOf(const std::vector<disc::CDTrackInfo>& tracks) {
  if (tracks.empty()) {
    return {};
  }
  std::int32_t end = 0;
  for (const auto& track : tracks) {
    end = std::max(end, track.startSector + track.sectorCount);
  }
  return {tracks.front().startSector, end - tracks.front().startSector};
}

accuraterip::TrackChecksumValues checksumsOf(std::span<const std::uint8_t> pcm,
                                             const disc::CDTrackInfo& track, bool first,
                                             bool last) {
  // The first and the last audio track leave out the samples near the disc's ends.
  accuraterip::TrackChecksums checksums(
      std::int64_t{track.sectorCount} * accuraterip::TrackChecksums::kSamplesPerSector, first,
      last);
  checksums.add(pcm);
  return checksums.values();
}

// The damaged sectors of a track as stretches from the track's start.
std::vector<disc::SectorStretch> damageOf(const TrackAudio& audio, const disc::CDTrackInfo& track) {
  auto stretches = disc::stretchesOf(audio.damaged);
  for (auto& stretch : stretches) {
    stretch.first -= track.startSector;
  }
  return stretches;
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

// The reads of an import's tracks, one after another: each track read, written and verified,
// and a track that no database confirms read a second time once its verdict is known.
class TrackReads {
 public:
  struct Context {
    const RipCDTrack& ripTrack;
    disc::DiscReader& reader;
    TrackVerifications& verifications;
    RipLog& log;
    AlbumFolder& album;
    const state::Dispatch& dispatch;
    std::stop_token stop;
    std::size_t trackCount;
  };

  explicit TrackReads(Context context) : c_(std::move(context)) {}

  // Reads, writes and reports the track at `index` among the disc's audio tracks, and decides
  // at once whether it needs a second read if the database has answered.
  void rip(std::size_t index, const disc::CDTrackInfo& track, const TrackMetadata& metadata) {
    const auto number = track.number;
    TrackAudio audio =
        c_.ripTrack.read(c_.reader, track, progressOf(number), c_.stop, againProgressOf(number));
    const auto checksums = checksumsOf(audio.pcm, track, index == 0, index + 1 == c_.trackCount);
    const auto file = c_.ripTrack.write(audio.pcm, track, metadata, c_.album, c_.stop);
    diagnostic("RipCD: track ", number, " complete \u2192 ", file.filename());
    report(c_.dispatch, trackRipComplete{number, file});
    const auto damage = damageOf(audio, track);
    if (!damage.empty()) {
      report(c_.dispatch, trackDamaged{number, damage});
    }
    c_.log.tracks.push_back({.track = track,
                             .file = file,
                             .checksums = checksums,
                             .sectorsReadAgain = audio.sectorsReadAgain,
                             .damaged = damage,
                             .copyCRC = checksums.crc32,
                             .errorPointers = c_.reader.errorPointers()});
    c_.verifications.trackRipped(number, index, checksums);
    Waiting waiting{index, track, metadata, CopyRead::of(audio), c_.log.tracks.size() - 1};
    audio = {};
    if (c_.verifications.answer()) {
      decide(waiting);
    } else {
      waiting_.push_back(std::move(waiting));
    }
  }

  // Decides the tracks read before the database answered; call it once the answer is there.
  void decideWaiting() {
    for (const auto& waiting : std::exchange(waiting_, {})) {
      decide(waiting);
    }
  }

 private:
  struct Waiting {
    std::size_t index;
    disc::CDTrackInfo track;
    TrackMetadata metadata;
    CopyRead copy;
    std::size_t logIndex;
  };

  RipCDTrack::Progress progressOf(std::int64_t number) const {
    return [&dispatch = c_.dispatch, number](double fraction) {
      report(dispatch, trackRipProgress{number, fraction});
    };
  }

  // The progress of reading a track's doubtful sectors again, told as a read of the track again.
  RipCDTrack::Progress againProgressOf(std::int64_t number) const {
    return [&dispatch = c_.dispatch, number](double fraction) {
      if (fraction == 0.0) {
        report(dispatch, trackRipStarted{number, true});
      }
      report(dispatch, trackRipProgress{number, fraction});
    };
  }

  bool isConfirmed(std::int64_t number) const {
    const auto verdicts = c_.verifications.verdicts();
    const auto found = verdicts.find(number);
    return found != verdicts.end() && std::holds_alternative<accuraterip::Accurate>(found->second);
  }

  // A track that the database confirms is done. Any other is read again and compared; where
  // the reads disagree the settled audio replaces the file's and is verified again.
  void decide(const Waiting& waiting) {
    const auto number = waiting.track.number;
    if (isConfirmed(number)) {
      return;
    }
    diagnostic("RipCD: track ", number, " is not confirmed by the database; reading it again");
    report(c_.dispatch, trackRipStarted{number, true});
    auto test = testAndCopy_(c_.reader, waiting.track, waiting.copy, c_.ripTrack,
                             progressOf(number), c_.stop);
    RipLogTrack& logged = c_.log.tracks[waiting.logIndex];
    logged.passes = 2;
    logged.testCRC = test.crc;
    if (!test.settled) {
      return;
    }
    const TrackAudio& audio = *test.settled;
    logged.sectorsReadAgain += audio.sectorsReadAgain;
    if (auto damage = damageOf(audio, waiting.track); damage != logged.damaged) {
      logged.damaged = damage;
      report(c_.dispatch, trackDamaged{number, std::move(damage)});
    }
    const auto checksums = checksumsOf(audio.pcm, waiting.track, waiting.index == 0,
                                       waiting.index + 1 == c_.trackCount);
    if (checksums.crc32 == waiting.copy.crc) {
      return;
    }
    diagnostic("RipCD: track ", number, " settled to other audio; writing its file again");
    logged.file = c_.ripTrack.write(audio.pcm, waiting.track, waiting.metadata, c_.album, c_.stop);
    logged.checksums = checksums;
    c_.verifications.trackRipped(number, waiting.index, checksums);
  }

  Context c_;
  TestAndCopy testAndCopy_;
  std::vector<Waiting> waiting_;
};

}  // namespace

RipCD::RipCD(const std::shared_ptr<platform::linux_cd::OpticalDrives>& drives,
             const platform::http::WebServices& services,
             FetchArtistImage::SecondSource artistPictureSource)
    : drives_(drives),
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

  std::optional<std::vector<std::uint8_t>> artwork;
  if (release) {
    if (release->caaId && release->caaReleaseMbid) {
      artwork = fetchCoverArt_(*release->caaId, *release->caaReleaseMbid, album, stop);
    }
    if (release->artistMbid) {
      fetchArtistImage_(*release->artistMbid, album, stop);
    }
  }

  std::int64_t current = tracks.empty() ? 0 : tracks.front().number;
  try {
    const auto audio = audioOf(tracks);
    disc::DiscReader reader(withReadOffset(drives_, log.readOffset.samples, audio), drive.bsdPath,
                            audio, !drive.isDiscImage);
    TrackReads reads({ripTrack, reader, verifications, log, album, dispatch, stop, tracks.size()});
    for (std::size_t index = 0; index < tracks.size(); ++index) {
      const disc::CDTrackInfo& track = tracks[index];
      current = track.number;
      platform::tasks::throwIfCancelled(stop);
      diagnostic("RipCD: starting track ", current, " of ", total);
      report(dispatch, trackRipStarted{current});
      // The tracks of the disc info are its audio tracks: `index` is the track's database entry.
      reads.rip(index, track,
                {.trackTitle = titleOfTrack(release, current),
                 .albumTitle = release ? std::optional(release->title) : std::nullopt,
                 .albumArtist = release ? std::optional(release->artistCredit) : std::nullopt,
                 .trackTotal = total,
                 .artwork = artwork});
    }
    // The tracks read before the database answered wait for it; a slow answer never held up
    // the reads.
    if (lookup) {
      lookup->wait();
    }
    reads.decideWaiting();
  } catch (const platform::tasks::CancellationError&) {
    return stopped("RipCD: cancelled during track " + std::to_string(current));
  } catch (const std::exception& error) {
    // An import that was stopped ends as stopped whatever broke on the way out (a read of a
    // disc that was just ejected, say).
    if (stop.stop_requested()) {
      return stopped("RipCD: cancelled during track " + std::to_string(current));
    }
    diagnostic("RipCD: track ", current, " failed \u2014 ", error.what());
    album.undo();
    report(dispatch, ripFailed{error.what()});
    return;
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
