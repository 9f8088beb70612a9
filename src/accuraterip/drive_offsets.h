#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace noru::accuraterip {

// The drive offset list could not be obtained or read.
class DriveOffsetsError : public std::runtime_error {
 public:
  explicit DriveOffsetsError(const std::string& what) : std::runtime_error(what) {}
};

// One drive model of the AccurateRip drive offset list.
struct DriveOffset {
  std::string driveName;  // "VENDOR - MODEL"
  // In samples, by the AccurateRip convention: +N means the drive delivers audio N samples
  // late, so the disc's sample k is the drive's sample k + N.
  std::int32_t readOffset = 0;
  std::uint32_t submissions = 0;
  std::uint32_t agreement = 0;  // percentage of the submissions that agree

  bool operator==(const DriveOffset&) const = default;
};

// The AccurateRip drive offset list (DriveOffsets.bin): 69-byte records, each a little-endian
// signed 16-bit read offset, the drive's name in 32 bytes padded with NULs, then (little-endian
// 32-bit) the number of submissions and the percentage that agree; the remaining 27 bytes are
// unused. Only the offset and the name are relied on.
struct DriveOffsets {
  static constexpr std::size_t kRecordBytes = 69;

  std::vector<DriveOffset> drives;

  // Raises DriveOffsetsError when `bytes` is empty or no whole number of records.
  static DriveOffsets parse(std::span<const std::uint8_t> bytes);

  // The read offset of the drive whose INQUIRY vendor and model are given as the drive reports
  // them (space-padded or not): the entry named "VENDOR - MODEL", compared without regard to
  // case or to the padding. Nothing for a drive the list does not know.
  std::optional<std::int32_t> readOffset(std::string_view vendor, std::string_view model) const;

  bool operator==(const DriveOffsets&) const = default;
};

}  // namespace noru::accuraterip
