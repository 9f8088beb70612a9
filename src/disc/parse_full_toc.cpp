#include "disc/parse_full_toc.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

namespace noru::disc {
namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kDescriptorBytes = 11;
constexpr std::uint8_t kLeadOutPoint = 0xA2;
constexpr std::uint8_t kDataTrackBit = 0x04;
constexpr std::int32_t kLeadInFrames = 150;

// One track-start descriptor as read from the TOC.
struct TOCEntry {
  std::uint8_t point = 0;
  std::uint8_t control = 0;
  std::uint8_t pMin = 0;
  std::uint8_t pSec = 0;
  std::uint8_t pFrame = 0;
};

struct TrackDescriptor {
  TOCEntry entry;
  std::uint8_t session = 0;
  bool data = false;
  std::size_t order = 0;  // position in the TOC, to find a track again after sorting
};

std::int32_t absoluteFrames(std::uint8_t minute, std::uint8_t second, std::uint8_t frame) {
  return std::int32_t{minute} * 4500 + std::int32_t{second} * 75 + std::int32_t{frame};
}

std::int32_t absoluteFrames(const TOCEntry& entry) {
  return absoluteFrames(entry.pMin, entry.pSec, entry.pFrame);
}

struct ScannedToc {
  std::vector<TrackDescriptor> audio;   // audio tracks
  std::vector<TrackDescriptor> tracks;  // audio and data tracks
  std::optional<std::int32_t> leadOut;  // the last ADR 1 lead-out in TOC order
  std::map<std::uint8_t, std::int32_t> sessionLeadOuts;
};

std::optional<ScannedToc> scan(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderBytes) {
    return std::nullopt;
  }
  const std::size_t length = (std::size_t{bytes[0]} << 8) | bytes[1];
  if (bytes.size() < length + 2 || length < 2 + kDescriptorBytes) {
    return std::nullopt;
  }
  ScannedToc toc;
  const std::size_t count = (length - 2) / kDescriptorBytes;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t o = kHeaderBytes + kDescriptorBytes * i;
    if (o + kDescriptorBytes > bytes.size()) {
      break;
    }
    const std::uint8_t adrControl = bytes[o + 1];
    const std::uint8_t point = bytes[o + 3];
    if ((adrControl >> 4) != 1) {
      continue;
    }
    if (point >= 1 && point <= 99) {
      TrackDescriptor track{{point, static_cast<std::uint8_t>(adrControl & 0x0F), bytes[o + 8],
                             bytes[o + 9], bytes[o + 10]},
                            bytes[o],
                            (adrControl & kDataTrackBit) != 0,
                            i};
      toc.tracks.push_back(track);
      if (!track.data) {
        toc.audio.push_back(track);
      }
    } else if (point == kLeadOutPoint) {
      const auto address = absoluteFrames(bytes[o + 8], bytes[o + 9], bytes[o + 10]);
      toc.leadOut = address;
      toc.sessionLeadOuts[bytes[o]] = address;
    }
  }
  auto byPoint = [](const TrackDescriptor& a, const TrackDescriptor& b) {
    return a.entry.point < b.entry.point;
  };
  std::stable_sort(toc.audio.begin(), toc.audio.end(), byPoint);
  std::stable_sort(toc.tracks.begin(), toc.tracks.end(), byPoint);
  return toc;
}

// The track after `track` in POINT order, audio or data.
const TrackDescriptor* nextTrack(const ScannedToc& toc, const TrackDescriptor& track) {
  auto found = std::find_if(toc.tracks.begin(), toc.tracks.end(),
                            [&](const TrackDescriptor& t) { return t.order == track.order; });
  if (found == toc.tracks.end() || std::next(found) == toc.tracks.end()) {
    return nullptr;
  }
  return &*std::next(found);
}

// Where audio track k ends, as an absolute address; nothing when it cannot be known (the last
// track of a disc without any lead-out).
std::optional<std::int32_t> endOfTrack(const ScannedToc& toc, std::size_t k) {
  const auto& track = toc.audio[k];
  const auto sessionLeadOut = toc.sessionLeadOuts.find(track.session);
  if (sessionLeadOut != toc.sessionLeadOuts.end()) {
    const TrackDescriptor* next = nextTrack(toc, track);
    if (next == nullptr || next->session != track.session) {
      return sessionLeadOut->second;
    }
    const auto nextStart = absoluteFrames(next->entry);
    return next->data ? std::min(nextStart, sessionLeadOut->second) : nextStart;
  }
  if (k + 1 < toc.audio.size()) {
    return absoluteFrames(toc.audio[k + 1].entry);
  }
  return toc.leadOut;
}

}  // namespace

std::optional<CDDiscInfo> parseFullTOC(std::span<const std::uint8_t> bytes) {
  const auto toc = scan(bytes);
  if (!toc || toc->audio.empty()) {
    return std::nullopt;
  }
  CDDiscInfo info;
  for (std::size_t k = 0; k < toc->audio.size(); ++k) {
    const auto end = endOfTrack(*toc, k);
    if (!end) {
      break;
    }
    const std::int32_t start = absoluteFrames(toc->audio[k].entry);
    const std::int32_t count = *end - start;
    if (count <= 0) {
      continue;
    }
    info.tracks.push_back(
        {static_cast<std::int64_t>(info.tracks.size()) + 1, start - kLeadInFrames, count});
  }
  if (info.tracks.empty()) {
    return std::nullopt;
  }
  const auto& last = info.tracks.back();
  info.totalSectors = last.startSector + last.sectorCount;
  return info;
}

}  // namespace noru::disc
