#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace noru::platform::linux_cd {

// What the system tells about one optical drive. Every field may be missing, and the layers
// above decide what a missing one means.
struct OpticalDevice {
  std::optional<std::string> productName;   // vendor and model, e.g. "HL-DT-ST DVDRAM GH24NSD1"
  std::optional<std::string> registryPath;  // unique and stable while the drive stays attached
  std::optional<std::string> mediaState;    // one of the media state texts below
  std::optional<std::string> bsdName;       // block-device name of the medium, e.g. "sr0"
  std::optional<std::string> vendor;        // as the drive reports it, trimmed: "HL-DT-ST"
  std::optional<std::string> model;         // as the drive reports it, trimmed: "DVDRAM GH24NSD1"
  // A disc image standing in for a drive (it reads exactly as written).
  bool isDiscImage = false;

  bool operator==(const OpticalDevice&) const = default;
};

// Media states as drives report them. Only kMediaPresent means that a disc can be read.
inline constexpr char kMediaPresent[] = "present";
inline constexpr char kMediaNone[] = "none";
inline constexpr char kMediaTrayOpen[] = "trayOpen";
inline constexpr char kMediaNotReady[] = "notReady";
inline constexpr char kMediaUnknown[] = "unknown";

}  // namespace noru::platform::linux_cd
