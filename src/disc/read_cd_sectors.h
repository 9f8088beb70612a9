#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/tasks/sendable_box.h"
#include "platform/tasks/task.h"

namespace noru::disc {

// Reads a run of raw CD-DA sectors (2352 bytes each, 16-bit little-endian stereo) from a drive,
// at most 75 sectors a request, reporting progress on the main thread after every request.
class ReadCDSectors {
 public:
  using Progress = std::function<void(double fraction)>;
  using ReadTaskBox = platform::tasks::SendableBox<platform::tasks::TaskHandle>;

  // Starts the read as a task of its own, puts that task's handle into `readTask` so that the
  // caller can cancel it, and waits for it. Returns sectorCount * 2352 bytes, or raises
  // CDRipError (deviceNotFound, readFailed(errno)) or CancellationError.
  std::vector<std::uint8_t> operator()(const std::string& bsdPath, std::int32_t startSector,
                                       std::int32_t sectorCount, Progress progress,
                                       const std::shared_ptr<ReadTaskBox>& readTask) const;

  // Collaborators (the device adapter) are public fields, added with the implementation.
};

}  // namespace noru::disc
