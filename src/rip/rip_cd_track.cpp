#include "rip/rip_cd_track.h"

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/de_emphasise.h"
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

TrackAudio RipCDTrack::read(disc::DiscReader& reader, const disc::CDTrackInfo& track,
                            const Progress& progress, const std::stop_token& stop,
                            const Progress& settling) const {
  diagnostic("RipCDTrack: track ", track.number, " — ", track.sectorCount, " sectors (",
             platform::log::oneDecimal(track.sectorCount / 75.0), "s)");
  auto pass = readSectors(reader, track.startSector, track.sectorCount, progress, stop);
  auto settlement =
      settleSuspects(reader, pass.audio, track.startSector, pass.suspects, stop, settling);
  return {std::move(pass.audio), std::move(settlement.unsettled), std::move(pass.suspects)};
}

std::filesystem::path RipCDTrack::write(std::span<const std::uint8_t> pcm,
                                        const disc::CDTrackInfo& track,
                                        const TrackMetadata& metadata, AlbumFolder& album,
                                        const std::stop_token& stop) const {
  const auto number = track.number;
  // A stop that came as the read ended is honoured before anything is written.
  platform::tasks::throwIfCancelled(stop);
  const auto file = album.trackFile(number, metadata.trackTitle);
  diagnostic("RipCDTrack: track ", number, " — encoding to ", file.filename());
  // The track is encoded and tagged under a name of its own: a file of the same name from an
  // earlier import is replaced only by a complete one, and a stop or failure on the way
  // removes nothing but this temporary file.
  auto unfinished = AlbumFolder::unfinished(file);
  // An AAC file cannot say that its audio is pre-emphasised, so it holds the audio as a player
  // honouring the flag would play it; a lossless file keeps the audio as read, and says so.
  const bool lossless = isLossless(album.format());
  std::vector<std::uint8_t> deEmphasised;
  if (track.preEmphasis && !lossless) {
    deEmphasised = deEmphasise(pcm);
  }
  const GaplessTiming gapless =
      encodeToAAC(deEmphasised.empty() ? pcm : std::span<const std::uint8_t>(deEmphasised),
                  unfinished.path(), number, stop, album.format());
  try {
    // Only AAC has priming and padding for players to skip.
    embedMetadata(unfinished.path(),
                  {.title = metadata.trackTitle,
                   .number = number,
                   .total = metadata.trackTotal,
                   .disc = metadata.disc,
                   .discTotal = metadata.discTotal,
                   .artist = metadata.albumArtist,
                   .album = metadata.albumTitle,
                   .date = metadata.date,
                   .cover = metadata.artwork,
                   .releaseId = metadata.releaseId,
                   .releaseGroupId = metadata.releaseGroupId,
                   .recordingId = metadata.recordingId,
                   .artistId = metadata.artistId,
                   .isrc = metadata.isrc,
                   .barcode = metadata.barcode,
                   .preEmphasised = track.preEmphasis && lossless},
                  lossless ? std::nullopt : std::optional(gapless), album.format());
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
