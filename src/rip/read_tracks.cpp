#include "rip/read_tracks.h"

#include <span>
#include <system_error>
#include <utility>
#include <variant>

#include "accuraterip/track_checksums.h"
#include "disc/sector_stretch.h"
#include "platform/linux/audio_device.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::rip {
namespace {

using platform::log::diagnostic;
using namespace state::CDRipActions;

void report(const state::Dispatch& dispatch, state::CDRipAction action) {
  dispatch(state::AnyAction{std::move(action)});
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

std::size_t bytesOf(const disc::CDTrackInfo& track) {
  return static_cast<std::size_t>(track.sectorCount) * platform::linux_cd::kAudioSectorBytes;
}

// The damaged sectors of a track as stretches from the track's start.
std::vector<disc::SectorStretch> damageOf(const TrackAudio& audio, const disc::CDTrackInfo& track) {
  auto stretches = disc::stretchesOf(audio.damaged);
  for (auto& stretch : stretches) {
    stretch.first -= track.startSector;
  }
  return stretches;
}

}  // namespace

void ReadTracks::rip(std::size_t index, const disc::CDTrackInfo& track,
                     const TrackMetadata& metadata) {
  const auto number = track.number;
  writes_.waitForRoom(bytesOf(track));
  diagnostic("RipCD: starting track ", number, " of ", c_.trackCount);
  report(c_.dispatch, trackRipStarted{number});
  TrackAudio audio = reading([&] {
    return c_.ripTrack.read(c_.reader, track, progressOf(number), writes_.stop(),
                            againProgressOf(number));
  });
  const auto checksums = checksumsOf(audio.pcm, track, index == 0, index + 1 == c_.trackCount);
  const Waiting waiting{
      index, track, metadata, checksums, CopyRead::of(audio), c_.log.tracks.size()};
  const auto damage = damageOf(audio, track);
  if (!damage.empty()) {
    report(c_.dispatch, trackDamaged{number, damage});
  }
  c_.verifications.trackRipped(number, index, checksums);
  c_.log.tracks.push_back({.track = track,
                           .file = c_.album.trackFile(number, metadata.trackTitle),
                           .checksums = checksums,
                           .sectorsReadAgain = static_cast<std::int32_t>(audio.readAgain.size()),
                           .damaged = damage,
                           .copyCRC = checksums.crc32,
                           .errorPointers = c_.reader.errorPointers()});
  const auto verdict = c_.verifications.verdictFor(index, checksums);
  takeForCTDB(waiting, audio.pcm,
              verdict && std::holds_alternative<accuraterip::Accurate>(*verdict));
  write(waiting, std::move(audio.pcm), [this, number](const std::filesystem::path& file) {
    report(c_.dispatch, trackRipComplete{number, file});
  });
  audio = {};
  // A track that the database has already turned down is read again while its file is
  // written, so that the second read costs the drive's time only.
  if (!c_.readUnconfirmedTwice) {
    return;
  }
  if (!verdict) {
    waiting_.push_back(waiting);
  } else if (!std::holds_alternative<accuraterip::Accurate>(*verdict)) {
    keepSecondRead(waiting, readAgain(waiting));
  }
}

void ReadTracks::finish() {
  for (const auto& waiting : std::exchange(waiting_, {})) {
    decide(waiting);
  }
  writes_.finish();
}

template <class Read>
auto ReadTracks::reading(Read read) -> decltype(read()) {
  try {
    return read();
  } catch (const platform::tasks::CancellationError&) {
    writes_.raiseFailure();
    throw;
  }
}

void ReadTracks::write(const Waiting& waiting, std::vector<std::uint8_t> pcm,
                       std::function<void(const std::filesystem::path&)> placed) {
  writes_.start(
      waiting.track.number, std::move(pcm),
      [this, track = waiting.track, metadata = waiting.metadata, placed = std::move(placed)](
          std::span<const std::uint8_t> pcm, const std::stop_token& stop) {
        const auto file = c_.ripTrack.write(pcm, track, metadata, c_.album, stop);
        diagnostic("RipCD: track ", track.number, " complete \u2192 ", file.filename());
        if (placed) {
          placed(file);
        }
      });
}

RipCDTrack::Progress ReadTracks::progressOf(std::int64_t number) const {
  return [&dispatch = c_.dispatch, number](double fraction) {
    report(dispatch, trackRipProgress{number, fraction});
  };
}

// The progress of reading a track's doubtful sectors again, told as a read of the track again.
RipCDTrack::Progress ReadTracks::againProgressOf(std::int64_t number) const {
  return [&dispatch = c_.dispatch, number](double fraction) {
    if (fraction == 0.0) {
      report(dispatch, trackRipStarted{number, true});
    }
    report(dispatch, trackRipProgress{number, fraction});
  };
}

bool ReadTracks::isConfirmed(std::int64_t number) const {
  const auto verdicts = c_.verifications.verdicts();
  const auto found = verdicts.find(number);
  return found != verdicts.end() && std::holds_alternative<accuraterip::Accurate>(found->second);
}

// A track that a database confirms is done; any other is read again and compared.
void ReadTracks::decide(const Waiting& waiting) {
  if (!isConfirmed(waiting.track.number)) {
    keepSecondRead(waiting, readAgain(waiting));
  }
}

TestRead ReadTracks::readAgain(const Waiting& waiting) {
  const auto number = waiting.track.number;
  writes_.waitForRoom(bytesOf(waiting.track));
  diagnostic("RipCD: track ", number, " is not confirmed by the database; reading it again");
  report(c_.dispatch, trackRipStarted{number, true});
  return reading([&] {
    return testAndCopy_(c_.reader, waiting.track, waiting.copy, c_.ripTrack, progressOf(number),
                        writes_.stop());
  });
}

// Where the reads disagreed, the settled audio replaces the file's and is verified again.
void ReadTracks::keepSecondRead(const Waiting& waiting, TestRead test) {
  const auto number = waiting.track.number;
  RipLogTrack& logged = c_.log.tracks[waiting.logIndex];
  logged.passes = 2;
  logged.testCRC = test.crc;
  if (!test.settled) {
    return;
  }
  TrackAudio& audio = *test.settled;
  logged.sectorsReadAgain = static_cast<std::int32_t>(
      disc::sectorsInEither(waiting.copy.readAgain, audio.readAgain).size());
  if (auto damage = damageOf(audio, waiting.track); damage != logged.damaged) {
    logged.damaged = damage;
    report(c_.dispatch, trackDamaged{number, std::move(damage)});
  }
  const auto checksums =
      checksumsOf(audio.pcm, waiting.track, waiting.index == 0, waiting.index + 1 == c_.trackCount);
  if (checksums.crc32 == waiting.checksums.crc32) {
    return;
  }
  diagnostic("RipCD: track ", number, " settled to other audio; writing its file again");
  logged.checksums = checksums;
  c_.verifications.trackRipped(number, waiting.index, checksums);
  // The first file is in place before the settled audio's replaces it.
  writes_.waitFor(number);
  retakeForCTDB(waiting, audio.pcm);
  write(waiting, std::move(audio.pcm));
}

std::int64_t ReadTracks::startSampleOf(const disc::CDTrackInfo& track) const {
  return std::int64_t{track.startSector - c_.ctdb.audioStart} *
         platform::linux_cd::kSamplesPerSector;
}

void ReadTracks::takeForCTDB(const Waiting& waiting, std::span<const std::uint8_t> pcm,
                             bool confirmed) {
  if (c_.ctdb.crcs) {
    c_.ctdb.crcs->setTrack(waiting.index, pcm);
  }
  if (c_.ctdb.syndromes) {
    c_.ctdb.syndromes->add(startSampleOf(waiting.track), pcm);
  }
  if (!confirmed && c_.ctdb.kept && c_.ctdb.mayRepair && c_.ctdb.mayRepair() &&
      c_.ctdb.kept->keep(waiting.index, waiting.track.number, pcm)) {
    kept_.insert_or_assign(waiting.index, waiting);
  }
}

void ReadTracks::retakeForCTDB(const Waiting& waiting, std::span<const std::uint8_t> pcm) {
  if (c_.ctdb.crcs) {
    c_.ctdb.crcs->setTrack(waiting.index, pcm);
  }
  if (!c_.ctdb.syndromes) {
    return;
  }
  // Syndromes are added by XOR: adding the first audio again takes it out.
  const auto start = startSampleOf(waiting.track);
  if (!c_.ctdb.kept || !c_.ctdb.kept->holds(waiting.index)) {
    syndromesAreCurrent_ = false;
    return;
  }
  try {
    const MappedAudio first(c_.ctdb.kept->fileOf(waiting.index));
    c_.ctdb.syndromes->add(start, first.bytes());
  } catch (const std::system_error& error) {
    diagnostic("RipCD: the kept audio of track ", waiting.track.number, " \u2014 ", error.what());
    syndromesAreCurrent_ = false;
    return;
  }
  c_.ctdb.syndromes->add(start, pcm);
  if (!c_.ctdb.kept->keep(waiting.index, waiting.track.number, pcm)) {
    kept_.erase(waiting.index);
  }
}

void ReadTracks::writeRepaired(std::size_t index) {
  const Waiting& waiting = kept_.at(index);
  writes_.waitForRoom(bytesOf(waiting.track));
  const MappedAudio audio(c_.ctdb.kept->fileOf(index));
  std::vector<std::uint8_t> pcm(audio.bytes().begin(), audio.bytes().end());
  c_.log.tracks[waiting.logIndex].checksums =
      checksumsOf(pcm, waiting.track, waiting.index == 0, waiting.index + 1 == c_.trackCount);
  writes_.waitFor(waiting.track.number);
  write(waiting, std::move(pcm));
}

}  // namespace noru::rip
