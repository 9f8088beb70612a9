#include "rip/rip_cd.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <regex>
#include <string>
#include <system_error>

#include "accuraterip/offset_corrected_audio_device.h"
#include "ctdb/verify_rip.h"
#include "disc/disc_reader.h"
#include "disc/parse_full_toc.h"
#include "platform/linux/audio_device.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"
#include "rip/read_tracks.h"
#include "rip/rip_hidden_track.h"
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

const disc::CDLookupTrack* trackOf(const std::optional<disc::CDLookupRelease>& release,
                                   std::int64_t number) {
  if (!release) {
    return nullptr;
  }
  const auto found = std::ranges::find(release->tracks, number, &disc::CDLookupTrack::number);
  return found == release->tracks.end() ? nullptr : &*found;
}

// `id` when it is a MusicBrainz identifier (a UUID in lower case): the release of typed names
// has an identity of its own that no library manager could find.
std::optional<std::string> musicBrainzId(const std::optional<std::string>& id) {
  static const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
  return id && std::regex_match(*id, uuid) ? id : std::nullopt;
}

// The tags and names of track `number` of `release`, if there is one, and the disc's barcode.
TrackMetadata metadataOf(const std::optional<disc::CDLookupRelease>& release, std::int64_t number,
                         std::int64_t total, const std::optional<std::vector<std::uint8_t>>& cover,
                         const std::optional<std::string>& barcode) {
  TrackMetadata metadata{.trackTotal = total, .artwork = cover, .barcode = barcode};
  if (!release) {
    return metadata;
  }
  const auto* track = trackOf(release, number);
  metadata.trackTitle = track ? std::optional(track->title) : std::nullopt;
  metadata.albumTitle = release->title;
  metadata.albumArtist = release->artistCredit;
  metadata.date = release->date;
  metadata.disc = release->discNumber.value_or(0);
  metadata.discTotal = release->discTotal.value_or(0);
  metadata.releaseId = musicBrainzId(release->id);
  metadata.releaseGroupId = musicBrainzId(release->releaseGroupMbid);
  metadata.recordingId = musicBrainzId(track ? track->recordingMbid : std::nullopt);
  metadata.artistId = musicBrainzId(release->artistMbid);
  return metadata;
}

std::vector<int> trackNumbers(const std::vector<disc::CDTrackInfo>& tracks) {
  std::vector<int> numbers;
  for (const auto& track : tracks) {
    numbers.push_back(static_cast<int>(track.number));
  }
  return numbers;
}

std::optional<std::string> valueAt(const std::map<int, std::string>& values, int key) {
  const auto found = values.find(key);
  return found == values.end() ? std::nullopt : std::optional(found->second);
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

// A database lookup of an import, on a task of its own beside the reads: `lookUp` asks and
// hands the answer on. A stop of the import reaches it; however the import ends, the lookup is
// cancelled if it still runs and its thread joined.
class DatabaseLookup {
 public:
  DatabaseLookup(std::function<void(std::stop_token)> lookUp, const std::stop_token& importStop)
      : task_(platform::tasks::taskRunner().spawn(std::move(lookUp))),
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
  // Waits at most `limit` for the answer; false when it has not come, and the lookup is then
  // cancelled: nothing more is handed on. Raises as wait() does.
  bool waitAtMost(std::chrono::milliseconds limit, const std::stop_token& importStop) {
    if (task_.waitFor(limit, importStop) || importStop.stop_requested()) {
      wait();
      return true;
    }
    task_.cancel();
    return false;
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

// What the CUETools database needs of the disc's audio, unless a track is too short for it.
std::optional<ctdb::DiscCRCs> ctdbDiscCRCs(const std::vector<disc::CDTrackInfo>& tracks) {
  std::vector<std::int64_t> samples;
  for (const auto& track : tracks) {
    samples.push_back(std::int64_t{track.sectorCount} * platform::linux_cd::kSamplesPerSector);
  }
  return ctdb::DiscCRCs::forTracks(std::move(samples));
}

// Compares the disc as read with the CUETools database's entries; each track the database holds
// is accurate, whatever AccurateRip says.
std::optional<ctdb::RipVerdict> verifyWithCTDB(const CTDBAnswer& answer,
                                               const std::optional<ctdb::DiscCRCs>& discCRCs,
                                               const std::vector<disc::CDTrackInfo>& tracks,
                                               TrackVerifications& verifications) {
  const auto crcs = discCRCs ? discCRCs->atOffsets() : std::nullopt;
  if (answer.status != CTDBAnswer::Status::found || !crcs) {
    return std::nullopt;
  }
  auto verdict = ctdb::verifyRip(answer.entries, *crcs, tracks.size());
  for (std::size_t index = 0; index < tracks.size(); ++index) {
    if (verdict.tracks[index] > 0) {
      verifications.confirmedByCTDB(tracks[index].number, verdict.tracks[index]);
    }
  }
  return verdict;
}

// Where each audio track lies in the audio region.
std::vector<ctdb::SampleRange> sampleRangesOf(const std::vector<disc::CDTrackInfo>& tracks) {
  std::vector<ctdb::SampleRange> ranges;
  for (const auto& track : tracks) {
    const std::int64_t from = std::int64_t{track.startSector - tracks.front().startSector} *
                              platform::linux_cd::kSamplesPerSector;
    ranges.push_back(
        {from, from + std::int64_t{track.sectorCount} * platform::linux_cd::kSamplesPerSector});
  }
  return ranges;
}

// Whether the CUETools database's answer has syndromes a repair could use.
bool mayRepairFrom(const CTDBAnswer& answer) {
  return answer.status == CTDBAnswer::Status::found &&
         std::ranges::any_of(answer.entries, [](const ctdb::CTDBEntry& entry) {
           return entry.syndromes.has_value();
         });
}

// When no entry holds the disc as read, repairs the tracks that no database confirmed from the
// entries' syndromes and has each repaired track written again.
std::optional<CTDBRepair> repairWithCTDB(const RepairFromCTDB& repair, const CTDBAnswer& answer,
                                         const std::optional<ctdb::RipVerdict>& verdict,
                                         ctdb::DiscCRCs& crcs, const ctdb::RipSyndromes& syndromes,
                                         KeptAudio& kept, ReadTracks& reads,
                                         const std::vector<disc::CDTrackInfo>& tracks,
                                         TrackVerifications& verifications,
                                         const state::Dispatch& dispatch,
                                         const std::stop_token& stop) {
  if (!verdict || verdict->disc || !reads.syndromesAreCurrent() || !mayRepairFrom(answer)) {
    return std::nullopt;
  }
  const auto verdicts = verifications.verdicts();
  for (const auto index : kept.held()) {
    const auto found = verdicts.find(tracks[index].number);
    if (found != verdicts.end() && std::holds_alternative<accuraterip::Accurate>(found->second)) {
      kept.drop(index);
    }
  }
  if (kept.held().empty()) {
    return std::nullopt;
  }
  auto outcome = repair(answer.entries, syndromes, crcs, kept, sampleRangesOf(tracks), stop);
  for (const auto& [index, samples] : outcome.correctedSamples) {
    try {
      reads.writeRepaired(index);
    } catch (const std::system_error& error) {
      // The files as read stay; the repair only adds to an import.
      diagnostic("RipCD: the repaired audio of track ", tracks[index].number, " \u2014 ",
                 error.what());
      return CTDBRepair{.result = CTDBRepair::Result::notRepairable};
    }
    diagnostic("RipCD: track ", tracks[index].number, " repaired: ", samples, " samples corrected");
    verifications.confirmedByCTDB(tracks[index].number, outcome.match.confidence, samples);
    report(dispatch, trackDamaged{tracks[index].number, {}});
  }
  return outcome;
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
    : drives_(drives),
      discFacts_(drives),
      fetchCoverArt_(services),
      fetchArtistImage_(services, std::move(artistPictureSource)),
      findReadOffset_(services),
      lookUpAccurateRip_(drives, services),
      lookUpCTDB_(drives, services),
      repairFromCTDB_(services) {}

void RipCD::operator()(const disc::CDDrive& drive, const std::vector<disc::CDTrackInfo>& tracks,
                       const std::optional<disc::CDLookupRelease>& release, AlbumFolder& album,
                       const state::Dispatch& dispatch, std::stop_token stop,
                       const platform::linux_cd::DiscFacts& facts) const {
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
  const auto isrcs = discFacts_->readISRCs(drive.bsdPath, trackNumbers(tracks));
  diagnostic("RipCD: ", isrcs.size(), " ISRC(s), barcode ", facts.mcn.value_or("none"));
  TrackVerifications verifications(dispatch);
  std::optional<DatabaseLookup> lookup;
  if (log.readOffset.isKnown()) {
    lookup.emplace(
        [&](std::stop_token lookupStop) {
          verifications.answered(lookUpAccurateRip_(drive.bsdPath, std::move(lookupStop)));
        },
        stop);
  } else {
    verifications.answered(
        {.status = AccurateRipAnswer::Status::notAsked, .failure = "the read offset is unknown"});
  }

  // The CUETools database checks CRCs at any read offset: it is asked whatever the drive's.
  CTDBAnswer ctdbAnswer;
  std::atomic<bool> ctdbMayRepair = true;  // until the answer tells
  DatabaseLookup ctdbLookup(
      [&](std::stop_token lookupStop) {
        ctdbAnswer = lookUpCTDB_(drive.bsdPath, std::move(lookupStop));
        ctdbMayRepair = mayRepairFrom(ctdbAnswer);
      },
      stop);
  auto discCRCs = ctdbDiscCRCs(tracks);

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
    // The syndromes and the kept audio are gone before the album folder's end is decided.
    std::optional<ctdb::RipSyndromes> syndromes;
    if (discCRCs) {
      syndromes.emplace(sampleRangesOf(tracks).back().to);
    }
    KeptAudio kept(album.path());
    ReadTracks reads({ripTrack,
                      reader,
                      verifications,
                      log,
                      album,
                      dispatch,
                      stop,
                      tracks.size(),
                      readUnconfirmedTwice,
                      {.crcs = discCRCs ? &*discCRCs : nullptr,
                       .syndromes = syndromes ? &*syndromes : nullptr,
                       .kept = &kept,
                       .mayRepair = [&] { return ctdbMayRepair.load(); },
                       .audioStart = audio.first}},
                     writeBounds);
    for (std::size_t index = 0; index < tracks.size(); ++index) {
      const disc::CDTrackInfo& track = tracks[index];
      current = track.number;
      // The tracks of the disc info are its audio tracks: `index` is the track's database entry.
      auto metadata = metadataOf(release, current, total, artwork, facts.mcn);
      metadata.isrc = valueAt(isrcs, static_cast<int>(current));
      reads.rip(index, track, metadata);
    }
    // The tracks read before the database answered wait for it; a slow answer never held up
    // the reads.
    if (lookup) {
      lookup->wait();
    }
    // The CUETools database only adds to the verdicts: an answer that is still not there when
    // the reads are done is not waited for long.
    log.ctdb = ctdbLookup.waitAtMost(ctdbPatience, stop)
                   ? ctdbAnswer
                   : CTDBAnswer{.status = CTDBAnswer::Status::notReached,
                                .failure = "no answer by the end of the reads"};
    log.ctdbVerdict = verifyWithCTDB(*log.ctdb, discCRCs, tracks, verifications);
    reads.finish();
    if (discCRCs) {
      log.ctdbRepair =
          repairWithCTDB(repairFromCTDB_, *log.ctdb, log.ctdbVerdict, *discCRCs, *syndromes, kept,
                         reads, tracks, verifications, dispatch, stop);
    }
    if (log.ctdbRepair && log.ctdbRepair->result == CTDBRepair::Result::repaired) {
      log.ctdbVerdict = verifyWithCTDB(*log.ctdb, discCRCs, tracks, verifications);
      reads.finish();
    }
    // Audio hidden before track 1 comes last: whether the drive reads it or not, the disc's
    // tracks are safe by then.
    const auto layout = disc::parseFullTOCLayout(discFacts_->readFullToc(drive.bsdPath).bytes);
    log.hiddenTrack =
        ripHiddenTrack(ripTrack, reader, sectorsBeforeTrackOne(layout),
                       metadataOf(release, 0, total, artwork, facts.mcn), album, stop);
    log.sectorsRead = reader.sectorsRead();
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
