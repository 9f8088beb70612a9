#include "accuraterip/offset_corrected_audio_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace noru::accuraterip {

using platform::linux_cd::kAudioSectorBytes;
using platform::linux_cd::kMaxSectorsPerRead;
using platform::linux_cd::kSamplesPerSector;

namespace {
constexpr std::int64_t kBytesPerSample = 4;
}  // namespace

OffsetCorrectedAudioDevice::OffsetCorrectedAudioDevice(
    std::shared_ptr<platform::linux_cd::AudioDevice> inner, std::int32_t readOffset,
    std::int32_t leadOut)
    : inner_(std::move(inner)), readOffset_(readOffset), leadOut_(leadOut) {}

int OffsetCorrectedAudioDevice::readAudio(int descriptor, std::int32_t firstSector, int sectors,
                                          std::uint8_t* buffer) {
  if (readOffset_ == 0) {
    return inner_->readAudio(descriptor, firstSector, sectors, buffer);
  }
  std::vector<std::uint8_t> flagged(static_cast<std::size_t>(std::max(sectors, 0)) *
                                    kSamplesPerSector);
  return readAudioFlagged(descriptor, firstSector, sectors, buffer, flagged.data());
}

int OffsetCorrectedAudioDevice::readAudioFlagged(int descriptor, std::int32_t firstSector,
                                                 int sectors, std::uint8_t* buffer,
                                                 std::uint8_t* flagged) {
  if (readOffset_ == 0) {
    return inner_->readAudioFlagged(descriptor, firstSector, sectors, buffer, flagged);
  }
  if (sectors < 1 || sectors > kMaxSectorsPerRead) {
    errno = EINVAL;
    return -1;
  }
  // Byte positions in the drive's stream: the request's bytes shifted by the offset.
  const std::int64_t shift = std::int64_t{readOffset_} * kBytesPerSample;
  const std::int64_t wantedBegin = std::int64_t{firstSector} * kAudioSectorBytes + shift;
  const std::int64_t wantedEnd = wantedBegin + std::int64_t{sectors} * kAudioSectorBytes;
  // The drive's sectors that hold them, within what the drive can read.
  const auto floorSector = [](std::int64_t byte) {
    return byte >= 0 ? byte / kAudioSectorBytes
                     : -((-byte + kAudioSectorBytes - 1) / kAudioSectorBytes);
  };
  const std::int64_t readBegin = std::max<std::int64_t>(floorSector(wantedBegin), 0);
  const std::int64_t readEnd = std::min<std::int64_t>(floorSector(wantedEnd - 1) + 1, leadOut_);

  std::memset(buffer, 0, static_cast<std::size_t>(sectors) * kAudioSectorBytes);
  std::memset(flagged, 0, static_cast<std::size_t>(sectors) * kSamplesPerSector);
  // Copies into the request whatever of the drive's sectors from `first` (their bytes in
  // `data`, their flags in `flags`) falls in it. Byte positions are whole samples apart.
  const auto take = [&](std::int64_t first, std::int64_t count, const std::uint8_t* data,
                        const std::uint8_t* flags) {
    const std::int64_t begin = first * kAudioSectorBytes;
    const std::int64_t from = std::max(begin, wantedBegin);
    const std::int64_t to = std::min(begin + count * kAudioSectorBytes, wantedEnd);
    std::memcpy(buffer + (from - wantedBegin), data + (from - begin),
                static_cast<std::size_t>(to - from));
    std::memcpy(flagged + (from - wantedBegin) / kBytesPerSample,
                flags + (from - begin) / kBytesPerSample,
                static_cast<std::size_t>((to - from) / kBytesPerSample));
  };
  std::int64_t sector = readBegin;
  const bool continues = firstSector == continuation_;
  continuation_ = std::int64_t{firstSector} + sectors;
  if (sector < readEnd && sector == keptSector_ && continues) {
    take(sector, 1, kept_.data(), keptFlags_.data());
    ++sector;
  }
  while (sector < readEnd) {
    const int count =
        static_cast<int>(std::min<std::int64_t>(readEnd - sector, kMaxSectorsPerRead));
    chunk_.resize(static_cast<std::size_t>(count) * kAudioSectorBytes);
    chunkFlags_.resize(static_cast<std::size_t>(count) * kSamplesPerSector);
    if (inner_->readAudioFlagged(descriptor, static_cast<std::int32_t>(sector), count,
                                 chunk_.data(), chunkFlags_.data()) != 0) {
      keptSector_ = -1;
      return -1;
    }
    take(sector, count, chunk_.data(), chunkFlags_.data());
    sector += count;
    // Keep the chunk's last sector: the next sequential request starts in it.
    kept_.assign(chunk_.end() - kAudioSectorBytes, chunk_.end());
    keptFlags_.assign(chunkFlags_.end() - kSamplesPerSector, chunkFlags_.end());
    keptSector_ = sector - 1;
  }
  return 0;
}

}  // namespace noru::accuraterip
