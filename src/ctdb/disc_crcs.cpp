#include "ctdb/disc_crcs.h"

#include "ctdb/nearest_offset.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace noru::ctdb {
namespace {

constexpr std::int64_t kBytesPerSample = 4;
constexpr std::int64_t kReach = DiscCRCs::kMaxOffset;

std::uint32_t crcOf(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0) {
  return static_cast<std::uint32_t>(::crc32_z(crc, bytes.data(), bytes.size()));
}

std::uint32_t combine(std::uint32_t first, std::uint32_t second, std::int64_t secondBytes) {
  return static_cast<std::uint32_t>(::crc32_combine64(first, second, secondBytes));
}

// The CRC of `first` followed by `second`, `appended` being the operator of second's length.
std::uint32_t append(std::uint32_t first, std::uint32_t second, unsigned long appended) {
  return static_cast<std::uint32_t>(::crc32_combine_op(first, second, appended));
}

}  // namespace

std::optional<DiscCRCs> DiscCRCs::forTracks(std::vector<std::int64_t> trackSamples) {
  if (trackSamples.empty()) {
    return std::nullopt;
  }
  DiscCRCs crcs;
  std::int64_t total = 0;
  for (const auto samples : trackSamples) {
    crcs.tracks_.push_back({.start = total, .samples = samples});
    total += samples;
  }
  // The boundaries of the windows: the first track's from kSkipped on, the last's up to the
  // tail, each other track's its start.
  const std::int64_t end = total - (kSkipped + total % kSkipped);
  for (std::size_t index = 0; index < crcs.tracks_.size(); ++index) {
    Track& track = crcs.tracks_[index];
    const bool first = index == 0;
    const bool last = index + 1 == crcs.tracks_.size();
    const std::int64_t from = first ? kSkipped : 0;
    const std::int64_t to = last ? end - track.start : track.samples;
    track.headFrom = from - (first ? kReach : 0);
    track.headTo = from + kReach;
    track.tailFrom = to - kReach;
    track.tailTo = to + (last ? kReach : 0);
    if (track.headFrom < 0 || track.headTo > track.tailFrom || track.tailTo > track.samples) {
      return std::nullopt;
    }
  }
  return crcs;
}

void DiscCRCs::setTrack(std::size_t index, std::span<const std::uint8_t> pcm) {
  Track& track = tracks_.at(index);
  if (static_cast<std::int64_t>(pcm.size()) != track.samples * kBytesPerSample) {
    throw std::invalid_argument("a track's audio is not its length");
  }
  const auto part = [&](std::int64_t from, std::int64_t to) {
    return pcm.subspan(static_cast<std::size_t>(from * kBytesPerSample),
                       static_cast<std::size_t>((to - from) * kBytesPerSample));
  };
  const auto head = part(track.headFrom, track.headTo);
  const auto tail = part(track.tailFrom, track.tailTo);
  track.head.assign(head.begin(), head.end());
  track.tail.assign(tail.begin(), tail.end());
  track.middle = crcOf(part(track.headTo, track.tailFrom));
  track.set = true;
}

std::optional<DiscCRCs::AtOffsets> DiscCRCs::atOffsets() const {
  if (!std::ranges::all_of(tracks_, &Track::set)) {
    return std::nullopt;
  }
  AtOffsets sums;
  // Window i lies around boundary i: the first track's head, then each track's tail with the
  // next one's head, then the last track's tail.
  const auto prefixesOf = [](const std::vector<std::uint8_t>& a,
                             const std::vector<std::uint8_t>& b) {
    std::vector<std::uint32_t> prefixes{0};
    std::uint32_t crc = 0;
    for (const auto* bytes : {&a, &b}) {
      for (std::size_t at = 0; at < bytes->size(); at += kBytesPerSample) {
        crc = crcOf(std::span(*bytes).subspan(at, kBytesPerSample), crc);
        prefixes.push_back(crc);
      }
    }
    return prefixes;
  };
  const std::vector<std::uint8_t> none;
  sums.prefixes_.push_back(prefixesOf(tracks_.front().head, none));
  for (std::size_t index = 0; index < tracks_.size(); ++index) {
    const Track& track = tracks_[index];
    const bool last = index + 1 == tracks_.size();
    sums.prefixes_.push_back(prefixesOf(track.tail, last ? none : tracks_[index + 1].head));
    sums.middles_.push_back(track.middle);
    const auto middleBytes = (track.tailFrom - track.headTo) * kBytesPerSample;
    sums.middleAppended_.push_back(::crc32_combine_gen64(middleBytes));
  }
  std::int64_t innerBytes = 0;
  for (std::size_t index = 0; index < tracks_.size(); ++index) {
    const auto middleBytes = (tracks_[index].tailFrom - tracks_[index].headTo) * kBytesPerSample;
    sums.inner_ = combine(sums.inner_, sums.middles_[index], middleBytes);
    innerBytes += middleBytes;
    if (index + 1 < tracks_.size()) {
      const auto& window = sums.prefixes_[index + 1];
      const auto windowBytes = static_cast<std::int64_t>(window.size() - 1) * kBytesPerSample;
      sums.inner_ = combine(sums.inner_, window.back(), windowBytes);
      innerBytes += windowBytes;
    }
  }
  sums.innerAppended_ = ::crc32_combine_gen64(innerBytes);
  for (std::int64_t samples = 0; samples <= 2 * kReach; ++samples) {
    sums.samplesAppended_.push_back(::crc32_combine_gen64(samples * kBytesPerSample));
  }
  return sums;
}

std::uint32_t DiscCRCs::AtOffsets::windowCRC(std::size_t index, std::int64_t from,
                                             std::int64_t to) const {
  // The CRC of a run follows from the CRCs of the window's start up to either end of it.
  const auto& prefixes = prefixes_[index];
  return prefixes[static_cast<std::size_t>(to)] ^
         append(prefixes[static_cast<std::size_t>(from)], 0,
                samplesAppended_[static_cast<std::size_t>(to - from)]);
}

std::uint32_t DiscCRCs::AtOffsets::track(std::size_t index, std::int32_t offset) const {
  const std::int64_t shift = kReach + offset;
  std::uint32_t crc = windowCRC(index, shift, 2 * kReach);
  crc = append(crc, middles_[index], middleAppended_[index]);
  return append(crc, windowCRC(index + 1, 0, shift),
                samplesAppended_[static_cast<std::size_t>(shift)]);
}

std::uint32_t DiscCRCs::AtOffsets::disc(std::int32_t offset) const {
  const std::int64_t shift = kReach + offset;
  std::uint32_t crc = windowCRC(0, shift, 2 * kReach);
  crc = append(crc, inner_, innerAppended_);
  return append(crc, windowCRC(prefixes_.size() - 1, 0, shift),
                samplesAppended_[static_cast<std::size_t>(shift)]);
}

std::optional<std::int32_t> DiscCRCs::AtOffsets::offsetOf(std::uint32_t crc) const {
  return nearestOffset([&](std::int32_t offset) { return disc(offset) == crc; });
}

}  // namespace noru::ctdb
