#include "disc/read_cd_sectors.h"

#include <utility>

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <limits>
#include <stop_token>

#include "disc/cd_rip_error.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"

namespace noru::disc {
namespace {

constexpr std::int32_t kSectorBytes = platform::linux_cd::kAudioSectorBytes;
constexpr std::int32_t kSectorsPerRequest = platform::linux_cd::kMaxSectorsPerRead;
constexpr std::int32_t kSectorsPerMessage = 750;  // ten seconds of audio

bool isReadableRange(std::int32_t startSector, std::int32_t sectorCount) {
  return startSector >= 0 && sectorCount >= 0 &&
         std::int64_t{startSector} + sectorCount <= std::numeric_limits<std::int32_t>::max();
}

// Closes the descriptor however the read ends.
class OpenDevice {
 public:
  OpenDevice(platform::linux_cd::AudioDevice& device, int descriptor)
      : device_(device), descriptor_(descriptor) {}
  ~OpenDevice() { device_.close(descriptor_); }
  OpenDevice(const OpenDevice&) = delete;
  OpenDevice& operator=(const OpenDevice&) = delete;

 private:
  platform::linux_cd::AudioDevice& device_;
  int descriptor_;
};

std::vector<std::uint8_t> readSectors(platform::linux_cd::AudioDevice& device,
                                      const std::string& bsdPath, std::int32_t startSector,
                                      std::int32_t sectorCount,
                                      const ReadCDSectors::Progress& progress,
                                      const ReadCDSectors::ObserveAudio& observeAudio,
                                      const std::stop_token& cancellation) {
  using platform::log::diagnostic;
  const std::string path = "/dev/" + bsdPath;
  diagnostic("ReadCDSectors: opening ", path, " startSector=", startSector, " count=", sectorCount);
  const int descriptor = device.open(bsdPath);
  if (descriptor < 0) {
    const int error = errno;
    diagnostic("ReadCDSectors: open() failed for ", path, " errno=", error);
    throw CDRipError::deviceNotFound();
  }
  OpenDevice closeOnExit(device, descriptor);
  diagnostic("ReadCDSectors: device opened fd=", descriptor);

  std::vector<std::uint8_t> buffer(std::size_t{kSectorsPerRequest} * kSectorBytes, 0);
  std::vector<std::uint8_t> result;
  result.reserve(static_cast<std::size_t>(sectorCount) * kSectorBytes);
  std::int32_t done = 0;
  while (done < sectorCount) {
    platform::tasks::throwIfCancelled(cancellation);
    const std::int32_t chunk = std::min(sectorCount - done, kSectorsPerRequest);
    const std::int32_t sector = startSector + done;
    if (device.readAudio(descriptor, sector, chunk, buffer.data()) != 0) {
      const int error = errno;
      diagnostic("ReadCDSectors: DKIOCCDREAD failed at sector ", sector, " errno=", error);
      throw CDRipError::readFailed(error);
    }
    const std::span<const std::uint8_t> audio(buffer.data(),
                                              static_cast<std::size_t>(chunk) * kSectorBytes);
    if (observeAudio) {
      observeAudio(audio);
    }
    result.insert(result.end(), audio.begin(), audio.end());
    done += chunk;
    if (done % kSectorsPerMessage == 0 || done >= sectorCount) {
      const auto percent = static_cast<int>(static_cast<double>(done) / sectorCount * 100);
      diagnostic("ReadCDSectors: sector ", startSector + done, "/", startSector + sectorCount, " (",
                 percent, "%)");
    }
    const double fraction = static_cast<double>(done) / sectorCount;
    // The queue refuses work only while the application quits; the read ends as if cancelled.
    if (progress && !platform::tasks::mainQueue().runAndWait([&] { progress(fraction); })) {
      throw platform::tasks::CancellationError();
    }
  }
  diagnostic("ReadCDSectors: complete \u2014 ", result.size(), " bytes read");
  return result;
}

}  // namespace

ReadCDSectors::ReadCDSectors(std::shared_ptr<platform::linux_cd::AudioDevice> device)
    : device(std::move(device)) {}

std::vector<std::uint8_t> ReadCDSectors::operator()(const std::string& bsdPath,
                                                    std::int32_t startSector,
                                                    std::int32_t sectorCount, Progress progress,
                                                    const std::shared_ptr<ReadTaskBox>& readTask,
                                                    ObserveAudio observeAudio) const {
  assert(!platform::tasks::onMainThread());
  if (!isReadableRange(startSector, sectorCount)) {
    throw CDRipError::readFailed(EINVAL);
  }
  auto task = platform::tasks::taskRunner().spawn(
      [device = device, bsdPath, startSector, sectorCount, progress = std::move(progress),
       observeAudio = std::move(observeAudio)](std::stop_token cancellation) {
        return readSectors(*device, bsdPath, startSector, sectorCount, progress, observeAudio,
                           cancellation);
      });
  if (readTask) {
    readTask->put(task.handle());
  }
  return task.value();
}

}  // namespace noru::disc
