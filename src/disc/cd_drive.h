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
  // A disc image standing in for a drive: its audio is read exactly as written, so it has no
  // read offset.
  bool isDiscImage = false;

  bool operator==(const CDDrive&) const = default;
};

}  // namespace noru::disc
