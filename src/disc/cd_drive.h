#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace noru::disc {

// One optical drive as the last scan saw it. `id` is its identity across scans; a drive whose
// disc came or went arrives as a new record that compares unequal but keeps its `id`.
struct CDDrive {
  std::string id;
  std::string name;
  std::string bsdPath;  // block-device name of the medium, e.g. "sr0"; empty when none
  bool hasDisc = false;
  std::string vendor;  // as the drive reports them; empty when unknown
  std::string model;
  // The drive's read offset in samples when the system knows it (a disc image: 0); otherwise
  // the drive offset list has it, or nobody does.
  std::optional<std::int32_t> readOffset;

  bool operator==(const CDDrive&) const = default;
};

}  // namespace noru::disc
