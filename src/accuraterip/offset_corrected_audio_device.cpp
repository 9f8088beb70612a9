#include "accuraterip/offset_corrected_audio_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace noru::accuraterip {

using platform::linux_cd::kAudioSectorBytes;
using platform::linux_cd::kMaxSectorsPerRead;

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
  std::vector<std::uint8_t> chunk;
  for (std::int64_t sector = readBegin; sector < readEnd;) {
    const int count =
        static_cast<int>(std::min<std::int64_t>(readEnd - sector, kMaxSectorsPerRead));
    chunk.resize(static_cast<std::size_t>(count) * kAudioSectorBytes);
    if (inner_->readAudio(descriptor, static_cast<std::int32_t>(sector), count, chunk.data()) !=
        0) {
      return -1;
    }
    // Copy the part of this chunk that falls in the request.
    const std::int64_t chunkBegin = sector * kAudioSectorBytes;
    const std::int64_t from = std::max(chunkBegin, wantedBegin);
    const std::int64_t to =
        std::min(chunkBegin + std::int64_t{count} * kAudioSectorBytes, wantedEnd);
    std::memcpy(buffer + (from - wantedBegin), chunk.data() + (from - chunkBegin),
                static_cast<std::size_t>(to - from));
    sector += count;
  }
  return 0;
}

}  // namespace noru::accuraterip
