#include "rip/read_tracks.h"

#include <span>
#include <utility>
#include <variant>

#include "accuraterip/track_checksums.h"
#include "disc/sector_stretch.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/runtime.h"

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
  TrackAudio audio =
      c_.ripTrack.read(c_.reader, track, progressOf(number), c_.stop, againProgressOf(number));
  const auto checksums = checksumsOf(audio.pcm, track, index == 0, index + 1 == c_.trackCount);
  Waiting waiting{index, track, metadata, CopyRead::of(audio), c_.log.tracks.size()};
  // A track that the database has already turned down is read again while its file is
  // written, so that the second read costs the drive's time only.
  std::optional<TestRead> test;
  std::filesystem::path file;
  const auto verdict = c_.verifications.verdictFor(index, checksums);
  if (verdict && !std::holds_alternative<accuraterip::Accurate>(*verdict)) {
    auto writing = platform::tasks::taskRunner().spawn([&](std::stop_token) {
      return c_.ripTrack.write(audio.pcm, track, metadata, c_.album, c_.stop);
    });
    try {
      test = readAgain(waiting);
    } catch (...) {
      try {
        writing.value();
      } catch (...) {  // the read's failure is the one to tell
      }
      throw;
    }
    file = writing.value();
  } else {
    file = c_.ripTrack.write(audio.pcm, track, metadata, c_.album, c_.stop);
  }
  diagnostic("RipCD: track ", number, " complete \u2192 ", file.filename());
  report(c_.dispatch, trackRipComplete{number, file});
  const auto damage = damageOf(audio, track);
  if (!damage.empty()) {
    report(c_.dispatch, trackDamaged{number, damage});
  }
  c_.log.tracks.push_back({.track = track,
                           .file = file,
                           .checksums = checksums,
                           .sectorsReadAgain = static_cast<std::int32_t>(audio.readAgain.size()),
                           .damaged = damage,
                           .copyCRC = checksums.crc32,
                           .errorPointers = c_.reader.errorPointers()});
  c_.verifications.trackRipped(number, index, checksums);
  audio = {};
  if (test) {
    keepSecondRead(waiting, *test);
  } else if (c_.verifications.answer()) {
    decide(waiting);
  } else {
    waiting_.push_back(std::move(waiting));
  }
}

void ReadTracks::decideWaiting() {
  for (const auto& waiting : std::exchange(waiting_, {})) {
    decide(waiting);
  }
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

// A track that the database confirms is done; any other is read again and compared.
void ReadTracks::decide(const Waiting& waiting) {
  if (!isConfirmed(waiting.track.number)) {
    keepSecondRead(waiting, readAgain(waiting));
  }
}

TestRead ReadTracks::readAgain(const Waiting& waiting) {
  const auto number = waiting.track.number;
  diagnostic("RipCD: track ", number, " is not confirmed by the database; reading it again");
  report(c_.dispatch, trackRipStarted{number, true});
  return testAndCopy_(c_.reader, waiting.track, waiting.copy, c_.ripTrack, progressOf(number),
                      c_.stop);
}

// Where the reads disagreed, the settled audio replaces the file's and is verified again.
void ReadTracks::keepSecondRead(const Waiting& waiting, const TestRead& test) {
  const auto number = waiting.track.number;
  RipLogTrack& logged = c_.log.tracks[waiting.logIndex];
  logged.passes = 2;
  logged.testCRC = test.crc;
  if (!test.settled) {
    return;
  }
  const TrackAudio& audio = *test.settled;
  logged.sectorsReadAgain = static_cast<std::int32_t>(
      disc::sectorsInEither(waiting.copy.readAgain, audio.readAgain).size());
  if (auto damage = damageOf(audio, waiting.track); damage != logged.damaged) {
    logged.damaged = damage;
    report(c_.dispatch, trackDamaged{number, std::move(damage)});
  }
  const auto checksums =
      checksumsOf(audio.pcm, waiting.track, waiting.index == 0, waiting.index + 1 == c_.trackCount);
  if (checksums.crc32 == waiting.copy.crc) {
    return;
  }
  diagnostic("RipCD: track ", number, " settled to other audio; writing its file again");
  logged.file = c_.ripTrack.write(audio.pcm, waiting.track, waiting.metadata, c_.album, c_.stop);
  logged.checksums = checksums;
  c_.verifications.trackRipped(number, waiting.index, checksums);
}

}  // namespace noru::rip
