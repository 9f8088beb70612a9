#include "rip/test_and_copy.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>

#include "disc/sector_stretch.h"
#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

using platform::linux_cd::kAudioSectorBytes;

// The CRC-32 of each sector of `pcm`, and of the whole, combined from theirs in one pass.
struct SectorCRCs {
  std::vector<std::uint32_t> sectors;
  std::uint32_t whole = static_cast<std::uint32_t>(::crc32(0, nullptr, 0));
};

SectorCRCs crcsOf(const std::vector<std::uint8_t>& pcm) {
  SectorCRCs crcs;
  crcs.sectors.reserve(pcm.size() / kAudioSectorBytes);
  for (std::size_t at = 0; at + kAudioSectorBytes <= pcm.size(); at += kAudioSectorBytes) {
    const auto crc = ::crc32_z(::crc32(0, nullptr, 0), pcm.data() + at, kAudioSectorBytes);
    crcs.sectors.push_back(static_cast<std::uint32_t>(crc));
    crcs.whole = static_cast<std::uint32_t>(::crc32_combine(crcs.whole, crc, kAudioSectorBytes));
  }
  return crcs;
}

}  // namespace

CopyRead CopyRead::of(const TrackAudio& audio) {
  auto crcs = crcsOf(audio.pcm);
  return {std::move(crcs.sectors), crcs.whole, audio.damaged, audio.readAgain};
}

TestRead TestAndCopy::operator()(disc::DiscReader& reader, const disc::CDTrackInfo& track,
                                 const CopyRead& copy, const RipCDTrack& ripTrack,
                                 const RipCDTrack::Progress& progress,
                                 const std::stop_token& stop) const {
  const disc::SectorStretch stretch{track.startSector, track.sectorCount};
  auto test = ripTrack.readSectors(reader, stretch.first, stretch.count, progress, stop, true);
  const auto crcs = crcsOf(test.audio);
  TestRead result{.crc = crcs.whole};

  std::vector<std::int32_t> differing;
  for (std::size_t index = 0; index < copy.sectorCRCs.size(); ++index) {
    if (crcs.sectors[index] != copy.sectorCRCs[index]) {
      differing.push_back(stretch.first + static_cast<std::int32_t>(index));
    }
  }
  const auto suspects = disc::sectorsInEither(differing, test.suspects);
  platform::log::diagnostic("TestAndCopy: track ", track.number, " — ", differing.size(),
                            " sector(s) differ from the first read, ", test.suspects.size(),
                            " in doubt");
  if (suspects.empty()) {
    return result;
  }
  auto settlement =
      ripTrack.settleSuspects(reader, test.audio, stretch.first, suspects, stop, progress);
  // What never settled before and was not in doubt now keeps its mark.
  std::vector<std::int32_t> stillDamaged;
  std::ranges::set_difference(copy.damaged, suspects, std::back_inserter(stillDamaged));
  result.settled = TrackAudio{.pcm = std::move(test.audio),
                              .damaged = disc::sectorsInEither(stillDamaged, settlement.unsettled),
                              .readAgain = suspects};
  return result;
}

}  // namespace noru::rip
