#include "disc/parse_full_toc.h"

#include <algorithm>
#include <cstddef>

namespace noru::disc {
namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kDescriptorBytes = 11;
constexpr std::uint8_t kLeadOutPoint = 0xA2;
constexpr std::uint8_t kDataTrackBit = 0x04;
constexpr std::uint8_t kPreEmphasisBit = 0x01;
constexpr std::int32_t kLeadInFrames = 150;

std::int32_t logicalBlock(std::uint8_t minute, std::uint8_t second, std::uint8_t frame) {
  return std::int32_t{minute} * 4500 + std::int32_t{second} * 75 + std::int32_t{frame} -
         kLeadInFrames;
}

// Where the audio track at `index` of `layout.tracks` ends, as a logical block address; nothing
// when it cannot be known (the last track of a disc without any lead-out).
std::optional<std::int32_t> endOfAudioTrack(const FullTOCLayout& layout, std::size_t index) {
  const auto& tracks = layout.tracks;
  const auto& track = tracks[index];
  const auto sessionLeadOut = layout.sessionLeadOuts.find(track.session);
  if (sessionLeadOut != layout.sessionLeadOuts.end()) {
    // The track keeps to its session: it ends where the next track of the session starts (a
    // data track no later than the session's lead-out), or at the session's lead-out.
    if (index + 1 == tracks.size() || tracks[index + 1].session != track.session) {
      return sessionLeadOut->second;
    }
    const auto& next = tracks[index + 1];
    return next.data ? std::min(next.startLBA, sessionLeadOut->second) : next.startLBA;
  }
  // No lead-out for the session: the next audio track's start, else the disc's lead-out.
  const auto nextAudio = std::find_if(tracks.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                                      tracks.end(), [](const auto& t) { return !t.data; });
  if (nextAudio != tracks.end()) {
    return nextAudio->startLBA;
  }
  return layout.leadOut;
}

}  // namespace

std::optional<FullTOCLayout> parseFullTOCLayout(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderBytes) {
    return std::nullopt;
  }
  const std::size_t length = (std::size_t{bytes[0]} << 8) | bytes[1];
  if (bytes.size() < length + 2 || length < 2 + kDescriptorBytes) {
    return std::nullopt;
  }
  FullTOCLayout layout;
  const std::size_t count = (length - 2) / kDescriptorBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t o = kHeaderBytes + kDescriptorBytes * i;
    if (o + kDescriptorBytes > bytes.size()) {
      break;
    }
    const std::uint8_t session = bytes[o];
    const std::uint8_t adrControl = bytes[o + 1];
    const std::uint8_t point = bytes[o + 3];
    if ((adrControl >> 4) != 1) {
      continue;
    }
    const std::int32_t address = logicalBlock(bytes[o + 8], bytes[o + 9], bytes[o + 10]);
    if (point >= 1 && point <= 99) {
      layout.tracks.push_back({point, address, (adrControl & kDataTrackBit) != 0, session,
                               (adrControl & kPreEmphasisBit) != 0});
    } else if (point == kLeadOutPoint) {
      layout.leadOut = address;
      layout.sessionLeadOuts[session] = address;
    }
  }
  std::stable_sort(layout.tracks.begin(), layout.tracks.end(),
                   [](const auto& a, const auto& b) { return a.number < b.number; });
  return layout;
}

std::optional<CDDiscInfo> parseFullTOC(std::span<const std::uint8_t> bytes) {
  const auto layout = parseFullTOCLayout(bytes);
  if (!layout) {
    return std::nullopt;
  }
  CDDiscInfo info;
  for (std::size_t i = 0; i < layout->tracks.size(); ++i) {
    const auto& track = layout->tracks[i];
    if (track.data) {
      continue;
    }
    const auto end = endOfAudioTrack(*layout, i);
    if (!end) {
      break;
    }
    const std::int32_t count = *end - track.startLBA;
    if (count <= 0) {
      continue;
    }
    info.tracks.push_back({static_cast<std::int64_t>(info.tracks.size()) + 1, track.startLBA,
                           count, track.preEmphasis});
  }
  if (info.tracks.empty()) {
    return std::nullopt;
  }
  const auto& last = info.tracks.back();
  info.totalSectors = last.startSector + last.sectorCount;
  return info;
}

}  // namespace noru::disc
