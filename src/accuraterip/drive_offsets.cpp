#include "accuraterip/drive_offsets.h"

#include <algorithm>
#include <cctype>

namespace noru::accuraterip {
namespace {

constexpr std::size_t kNameBytes = 32;

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

bool isPadding(char c) {
  return c == ' ' || c == '\0' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isPadding(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isPadding(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) ==
           std::toupper(static_cast<unsigned char>(y));
  });
}

}  // namespace

DriveOffsets DriveOffsets::parse(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || bytes.size() % kRecordBytes != 0) {
    throw DriveOffsetsError("drive offset list of " + std::to_string(bytes.size()) +
                            " bytes is no whole number of records");
  }
  DriveOffsets list;
  list.drives.reserve(bytes.size() / kRecordBytes);
  for (std::size_t o = 0; o < bytes.size(); o += kRecordBytes) {
    const std::uint8_t* record = bytes.data() + o;
    const auto offset = static_cast<std::int16_t>(record[0] | record[1] << 8);
    const std::string_view name(reinterpret_cast<const char*>(record + 2), kNameBytes);
    list.drives.push_back({std::string(trimmed(name.substr(0, name.find('\0')))), offset,
                           littleEndian32(record + 2 + kNameBytes),
                           littleEndian32(record + 6 + kNameBytes)});
  }
  return list;
}

std::optional<std::int32_t> DriveOffsets::readOffset(std::string_view vendor,
                                                     std::string_view model) const {
  const std::string wanted = std::string(trimmed(vendor)) + " - " + std::string(trimmed(model));
  for (const auto& drive : drives) {
    if (equalIgnoringCase(drive.driveName, wanted)) {
      return drive.readOffset;
    }
  }
  return std::nullopt;
}

}  // namespace noru::accuraterip
