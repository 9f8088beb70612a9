#include "disc/read_cd_sectors.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <limits>
#include <span>

#include "disc/cd_rip_error.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/runtime.h"

namespace noru::disc {
namespace {

using platform::linux_cd::kAudioSectorBytes;
using platform::linux_cd::kMaxSectorsPerRead;
using platform::linux_cd::kSamplesPerSector;
constexpr std::int32_t kSectorsPerMessage = 750;  // ten seconds of audio

bool isReadableRange(std::int32_t startSector, std::int32_t sectorCount) {
  return startSector >= 0 && sectorCount >= 0 &&
         std::int64_t{startSector} + sectorCount <= std::numeric_limits<std::int32_t>::max();
}

bool anyFlagged(std::span<const std::uint8_t> flags) {
  return std::ranges::any_of(flags, [](std::uint8_t flag) { return flag != 0; });
}

// One pass over a run of sectors into `read`.
class Pass {
 public:
  Pass(DiscReader& reader, std::int32_t start, std::int32_t count)
      : reader_(reader),
        start_(start),
        flags_(std::size_t{kMaxSectorsPerRead} * kSamplesPerSector) {
    read_.audio.resize(static_cast<std::size_t>(count) * kAudioSectorBytes);
  }

  void request(std::int32_t sector, int count) {
    const int error = reader_.read(sector, count, at(sector), flags_.data());
    if (error == 0) {
      noteFlagged(sector, count);
      return;
    }
    platform::log::diagnostic("ReadCDSectors: the request at sector ", sector, " failed (errno ",
                              error, "); reading its sectors one by one");
    for (std::int32_t one = sector; one < sector + count; ++one) {
      if (reader_.read(one, 1, at(one), flags_.data()) == 0) {
        noteFlagged(one, 1);
      } else {
        std::memset(at(one), 0, kAudioSectorBytes);
        read_.suspects.push_back(one);
      }
    }
  }

  SectorsRead take() { return std::move(read_); }

 private:
  std::uint8_t* at(std::int32_t sector) {
    return read_.audio.data() + std::size_t(sector - start_) * kAudioSectorBytes;
  }
  void noteFlagged(std::int32_t first, int count) {
    for (int index = 0; index < count; ++index) {
      if (anyFlagged(std::span(flags_).subspan(std::size_t(index) * kSamplesPerSector,
                                               kSamplesPerSector))) {
        read_.suspects.push_back(first + index);
      }
    }
  }

  DiscReader& reader_;
  std::int32_t start_;
  std::vector<std::uint8_t> flags_;
  SectorsRead read_;
};

}  // namespace

SectorsRead ReadCDSectors::operator()(DiscReader& reader, std::int32_t startSector,
                                      std::int32_t sectorCount, const Progress& progress,
                                      const std::stop_token& stop, bool again) const {
  using platform::log::diagnostic;
  assert(!platform::tasks::onMainThread());
  if (!isReadableRange(startSector, sectorCount)) {
    throw CDRipError::readFailed(EINVAL);
  }
  diagnostic("ReadCDSectors: reading sectors ", startSector, " count=", sectorCount);
  Pass pass(reader, startSector, sectorCount);
  std::int32_t done = 0;
  while (done < sectorCount) {
    platform::tasks::throwIfCancelled(stop);
    const std::int32_t chunk = std::min(sectorCount - done, kMaxSectorsPerRead);
    if (again) {
      // Request by request: a long run pushes its own end out of the cache as it goes.
      reader.emptyCacheOf({startSector + done, chunk}, stop);
    }
    pass.request(startSector + done, chunk);
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
  auto read = pass.take();
  diagnostic("ReadCDSectors: complete \u2014 ", read.audio.size(), " bytes, ", read.suspects.size(),
             " suspect sector(s)");
  return read;
}

}  // namespace noru::disc
