#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/disc_facts.h"

namespace noru::platform::linux_cd {

// The reply to a full-TOC request (MMC READ TOC/PMA/ATIP, format 0010b): the four-byte header
// followed by the 11-byte descriptors, exactly as the drive sends them.
struct FullTocReply {
  enum class Outcome {
    invalidDeviceName,  // the name cannot name a device node
    deviceUnavailable,  // no device answers to the name
    noToc,              // the device did not deliver a table of contents (no disc, error, timeout)
    ok,
  };

  Outcome outcome = Outcome::noToc;
  std::vector<std::uint8_t> bytes;  // only with Outcome::ok

  bool operator==(const FullTocReply&) const = default;
};

class FullTocSource {
 public:
  virtual ~FullTocSource() = default;

  // Blocks for at most the device's command timeout.
  virtual FullTocReply readFullToc(const std::string& bsdName) = 0;
  // What the disc says of itself besides: its CD-Text and its barcode. A drive that does not
  // answer gives nothing; blocks for at most a few of the device's command timeouts.
  virtual DiscFacts readDiscFacts(const std::string& bsdName) = 0;
  // The ISRCs of the disc's `tracks` that it has, by track number. Blocks for at most a
  // command timeout a track.
  virtual std::map<int, std::string> readISRCs(const std::string& bsdName,
                                               const std::vector<int>& tracks) = 0;
};

}  // namespace noru::platform::linux_cd
