#include "rip/rip_cd_track.h"

#include <memory>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/track_file_name.h"

namespace noru::rip {

using platform::log::diagnostic;

namespace {

// Removes the file of a track whose rip was stopped while it was written, and the tagged copy
// that a failed replacement left beside it.
void removeUnfinished(const std::filesystem::path& file,
                      const std::filesystem::path& leftoverCopy) {
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  if (!leftoverCopy.empty() && leftoverCopy != file &&
      leftoverCopy.parent_path() == file.parent_path()) {
    std::filesystem::remove(leftoverCopy, ignored);
  }
}

void throwIfStoppedRemoving(const std::filesystem::path& file, const std::stop_token& stop) {
  if (stop.stop_requested()) {
    removeUnfinished(file, {});
    throw platform::tasks::CancellationError();
  }
}

}  // namespace

std::filesystem::path RipCDTrack::operator()(const disc::CDDrive& drive,
                                             const disc::CDTrackInfo& track,
                                             const TrackMetadata& metadata,
                                             const std::filesystem::path& albumFolder,
                                             Progress progress, std::stop_token stop) const {
  const auto number = track.number;
  diagnostic("RipCDTrack: track ", number, " — ", track.sectorCount, " sectors (",
             platform::log::oneDecimal(track.sectorCount / 75.0), "s) from '", drive.name, "'");

  // The read runs as a task of its own; a stop of this rip reaches it through the box.
  std::vector<std::uint8_t> pcm;
  {
    auto readTask = std::make_shared<disc::ReadCDSectors::ReadTaskBox>();
    std::stop_callback passStopOn(stop, [readTask] {
      readTask->whenFilled([](platform::tasks::TaskHandle& read) { read.cancel(); });
    });
    pcm = readSectors(drive.bsdPath, track.startSector, track.sectorCount, std::move(progress),
                      readTask);
  }
  diagnostic("RipCDTrack: track ", number, " — ", pcm.size(), " bytes read");
  // A stop that came as the read ended is honoured before anything is written.
  platform::tasks::throwIfCancelled(stop);

  const auto file = albumFolder / trackFileName(number, metadata.trackTitle);
  diagnostic("RipCDTrack: track ", number, " — encoding to ", file.filename());
  // From here on the track's file is being written. A stop while it is encoded or tagged is
  // only seen afterwards; the file is then removed instead of being reported complete. (A failed
  // encode has already removed what it wrote.)
  encodeToAAC(pcm, file, number);
  pcm = {};  // the block is no longer needed while tagging
  throwIfStoppedRemoving(file, stop);
  try {
    embedMetadata(file, metadata.trackTitle, number, metadata.trackTotal, metadata.albumArtist,
                  metadata.albumTitle, metadata.artwork);
  } catch (const std::filesystem::filesystem_error& error) {
    if (stop.stop_requested()) {
      removeUnfinished(file, error.path1());
    }
    throw;
  } catch (...) {
    if (stop.stop_requested()) {
      removeUnfinished(file, {});
    }
    throw;
  }
  throwIfStoppedRemoving(file, stop);
  diagnostic("RipCDTrack: track ", number, " complete → ", file);
  return file;
}

}  // namespace noru::rip
