#include "rip/test_and_copy.h"

#include <zlib.h>

#include <algorithm>
#include <iterator>

#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

using platform::linux_cd::kAudioSectorBytes;

std::uint32_t crcOf(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(::crc32_z(::crc32(0, nullptr, 0), bytes.data(), bytes.size()));
}

std::span<const std::uint8_t> sectorOf(const std::vector<std::uint8_t>& pcm, std::size_t index) {
  return std::span(pcm).subspan(index * kAudioSectorBytes, kAudioSectorBytes);
}

std::vector<std::int32_t> unionOf(const std::vector<std::int32_t>& a,
                                  const std::vector<std::int32_t>& b) {
  std::vector<std::int32_t> both;
  std::ranges::set_union(a, b, std::back_inserter(both));
  return both;
}

}  // namespace

CopyRead CopyRead::of(const TrackAudio& audio) {
  CopyRead copy{.crc = crcOf(audio.pcm), .damaged = audio.damaged, .readAgain = audio.readAgain};
  const std::size_t sectors = audio.pcm.size() / kAudioSectorBytes;
  copy.sectorCRCs.reserve(sectors);
  for (std::size_t index = 0; index < sectors; ++index) {
    copy.sectorCRCs.push_back(crcOf(sectorOf(audio.pcm, index)));
  }
  return copy;
}

TestRead TestAndCopy::operator()(disc::DiscReader& reader, const disc::CDTrackInfo& track,
                                 const CopyRead& copy, const RipCDTrack& ripTrack,
                                 const RipCDTrack::Progress& progress,
                                 const std::stop_token& stop) const {
  const disc::SectorStretch stretch{track.startSector, track.sectorCount};
  auto test = ripTrack.readSectors(reader, stretch.first, stretch.count, progress, stop, true);
  TestRead result{.crc = crcOf(test.audio)};

  std::vector<std::int32_t> differing;
  for (std::size_t index = 0; index < copy.sectorCRCs.size(); ++index) {
    if (crcOf(sectorOf(test.audio, index)) != copy.sectorCRCs[index]) {
      differing.push_back(stretch.first + static_cast<std::int32_t>(index));
    }
  }
  const auto suspects = unionOf(differing, test.suspects);
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
                              .damaged = unionOf(stillDamaged, settlement.unsettled),
                              .readAgain = suspects};
  return result;
}

}  // namespace noru::rip
