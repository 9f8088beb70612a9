#include "platform/image/image_sector_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/audio_device.h"

namespace noru::platform::image {
namespace {

const ImageExtent* extentHolding(const DiscImage& image, std::int64_t sector) {
  auto after = std::upper_bound(
      image.extents.begin(), image.extents.end(), sector,
      [](std::int64_t value, const ImageExtent& extent) { return value < extent.firstSector; });
  if (after == image.extents.begin()) {
    return nullptr;
  }
  const ImageExtent& extent = *std::prev(after);
  return sector < std::int64_t{extent.firstSector} + extent.sectorCount ? &extent : nullptr;
}

bool readFully(linux_cd::SystemCalls& calls, int descriptor, std::uint8_t* buffer,
               std::size_t count, std::uint64_t offset) {
  while (count > 0) {
    const auto got = calls.pread(descriptor, buffer, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    buffer += got;
    count -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return true;
}

int failWith(int error) {
  errno = error;
  return -1;
}

}  // namespace

int readImageSectors(linux_cd::SystemCalls& calls, const DiscImage& image,
                     std::span<const int> files, std::int32_t firstSector, int sectors,
                     std::uint8_t* buffer) {
  constexpr int kBytes = linux_cd::kAudioSectorBytes;
  if (sectors < 1 || sectors > linux_cd::kMaxSectorsPerRead || firstSector < 0) {
    return failWith(EINVAL);
  }
  std::int64_t sector = firstSector;
  const std::int64_t end = std::int64_t{firstSector} + sectors;
  while (sector < end) {
    const ImageExtent* extent = extentHolding(image, sector);
    if (extent == nullptr || extent->data) {
      return failWith(EIO);
    }
    const std::int64_t run =
        std::min<std::int64_t>(end, std::int64_t{extent->firstSector} + extent->sectorCount) -
        sector;
    const auto bytes = static_cast<std::size_t>(run) * kBytes;
    if (!extent->file) {
      std::memset(buffer, 0, bytes);
    } else {
      if (*extent->file >= files.size()) {
        return failWith(EBADF);
      }
      const std::uint64_t offset =
          extent->byteOffset + static_cast<std::uint64_t>(sector - extent->firstSector) * kBytes;
      if (!readFully(calls, files[*extent->file], buffer, bytes, offset)) {
        return failWith(EIO);
      }
    }
    buffer += bytes;
    sector += run;
  }
  return 0;
}

}  // namespace noru::platform::image
