#include "rip/rip_cd_track.h"

#include <memory>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/temporary_file.h"

namespace noru::rip {

using platform::log::diagnostic;

namespace {

// Removes the tagged copy that a failed replacement left beside the track's temporary file.
void removeLeftoverCopy(const std::filesystem::filesystem_error& error,
                        const std::filesystem::path& unfinished) {
  const auto& copy = error.path1();
  if (!copy.empty() && copy != unfinished && copy.parent_path() == unfinished.parent_path()) {
    std::error_code ignored;
    std::filesystem::remove(copy, ignored);
  }
}

}  // namespace

std::filesystem::path RipCDTrack::operator()(const disc::CDDrive& drive,
                                             const disc::CDTrackInfo& track,
                                             const TrackMetadata& metadata, AlbumFolder& album,
                                             Progress progress, std::stop_token stop,
                                             disc::ReadCDSectors::ObserveAudio observeAudio) const {
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
                      readTask, std::move(observeAudio));
  }
  diagnostic("RipCDTrack: track ", number, " — ", pcm.size(), " bytes read");
  // A stop that came as the read ended is honoured before anything is written.
  platform::tasks::throwIfCancelled(stop);

  const auto file = album.trackFile(number, metadata.trackTitle);
  diagnostic("RipCDTrack: track ", number, " — encoding to ", file.filename());
  // The track is encoded and tagged under a name of its own: a file of the same name from an
  // earlier import is replaced only by a complete one, and a stop or failure on the way
  // removes nothing but this temporary file.
  auto unfinished = AlbumFolder::unfinished(file);
  const GaplessTiming gapless = encodeToAAC(pcm, unfinished.path(), number, stop);
  pcm = {};  // the block is no longer needed while tagging
  try {
    embedMetadata(unfinished.path(), metadata.trackTitle, number, metadata.trackTotal,
                  metadata.albumArtist, metadata.albumTitle, metadata.artwork, gapless);
  } catch (const std::filesystem::filesystem_error& error) {
    removeLeftoverCopy(error, unfinished.path());
    throw;
  }
  platform::tasks::throwIfCancelled(stop);
  album.place(unfinished, file);
  diagnostic("RipCDTrack: track ", number, " complete → ", file);
  return file;
}

}  // namespace noru::rip
