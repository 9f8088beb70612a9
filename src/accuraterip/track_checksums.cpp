#include "accuraterip/track_checksums.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace noru::accuraterip {
namespace {

// The offset-finding CRC is the AccurateRip v1 calculation applied to one sector's audio on
// its own, the track's sector 450 (0-based, so samples 450 × 588 + 1 to 451 × 588 of the
// track), with positions 1 to 588 within that sector. It does not depend on whether the track
// is first or last. The database stores it beside each track's CRC so that rippers can find
// the offset between pressings from one sector.
constexpr std::int64_t kOffsetSectorStart = 450 * TrackChecksums::kSamplesPerSector;
constexpr std::int64_t kOffsetSectorEnd = kOffsetSectorStart + TrackChecksums::kSamplesPerSector;

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

}  // namespace

TrackChecksums::TrackChecksums(std::int64_t sampleCount, bool firstAudioTrack, bool lastAudioTrack)
    : sampleCount_(sampleCount),
      firstCounted_(firstAudioTrack ? kEdgeSamples : 1),
      lastCounted_(lastAudioTrack ? sampleCount - kEdgeSamples : sampleCount),
      crc32_(::crc32(0L, Z_NULL, 0)) {}

void TrackChecksums::add(std::span<const std::uint8_t> bytes) {
  // zlib takes lengths as uInt; feed it in pieces that fit.
  for (auto rest = bytes; !rest.empty();) {
    const auto piece = std::min<std::size_t>(rest.size(), std::numeric_limits<uInt>::max());
    crc32_ = ::crc32(crc32_, rest.data(), static_cast<uInt>(piece));
    rest = rest.subspan(piece);
  }
  std::size_t i = 0;
  // Complete a sample split across the previous piece and this one.
  while (pendingBytes_ > 0 && i < bytes.size()) {
    pending_[pendingBytes_++] = bytes[i++];
    if (pendingBytes_ == 4) {
      addSample(littleEndianWord(pending_));
      pendingBytes_ = 0;
    }
  }
  for (; i + 4 <= bytes.size(); i += 4) {
    addSample(littleEndianWord(bytes.data() + i));
  }
  for (; i < bytes.size(); ++i) {
    pending_[pendingBytes_++] = bytes[i];
  }
}

void TrackChecksums::addSample(std::uint32_t word) {
  const std::int64_t position = ++position_;
  if (position >= firstCounted_ && position <= lastCounted_) {
    const std::uint64_t product = std::uint64_t{word} * static_cast<std::uint64_t>(position);
    const auto low = static_cast<std::uint32_t>(product);
    v1_ += low;
    v2_ += low + static_cast<std::uint32_t>(product >> 32);
  }
  if (position > kOffsetSectorStart && position <= kOffsetSectorEnd) {
    offsetFinding_ += word * static_cast<std::uint32_t>(position - kOffsetSectorStart);
  }
}

TrackChecksumValues TrackChecksums::values() const {
  return {v1_, v2_, position_ >= kOffsetSectorEnd ? offsetFinding_ : 0,
          static_cast<std::uint32_t>(crc32_)};
}

}  // namespace noru::accuraterip
