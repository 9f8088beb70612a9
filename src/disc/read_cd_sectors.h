#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/audio_device.h"
#include "platform/tasks/sendable_box.h"
#include "platform/tasks/task.h"

namespace noru::disc {

// Reads a run of raw CD-DA sectors (2352 bytes each, 16-bit little-endian stereo) from a drive,
// at most 75 sectors a request, reporting progress on the main thread after every request.
class ReadCDSectors {
 public:
  using Progress = std::function<void(double fraction)>;
  // Sees the audio of each request as it arrives, in order, on the read's own task.
  using ObserveAudio = std::function<void(std::span<const std::uint8_t> audio)>;
  using ReadTaskBox = platform::tasks::SendableBox<platform::tasks::TaskHandle>;

  explicit ReadCDSectors(std::shared_ptr<platform::linux_cd::AudioDevice> device);

  // Starts the read as a task of its own, puts that task's handle into `readTask` so that the
  // caller can cancel it, and waits for it. Returns sectorCount * 2352 bytes, or raises
  // CDRipError (deviceNotFound, readFailed(errno)) or CancellationError. A range that starts
  // below 0, has a negative count or ends beyond the 32-bit sector range fails with
  // readFailed(EINVAL) before the drive is opened. Call it off the main thread: the progress
  // reports wait for the main thread. `observeAudio`, if any, is shown every request's audio
  // before its progress is reported.
  std::vector<std::uint8_t> operator()(const std::string& bsdPath, std::int32_t startSector,
                                       std::int32_t sectorCount, Progress progress,
                                       const std::shared_ptr<ReadTaskBox>& readTask,
                                       ObserveAudio observeAudio = {}) const;

  // The drives' raw-audio interface.
  std::shared_ptr<platform::linux_cd::AudioDevice> device;
};

}  // namespace noru::disc
