#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/audio_format.h"
#include "rip/gapless_timing.h"

namespace noru::rip {

// Writes title, artist, album, track number and JPEG cover art into an encoded M4A file, and
// the encoder's priming and padding as the "iTunSMPB" item when they are known; into a FLAC
// file, the same as Vorbis comments and a front-cover picture. The tags go into a copy named
// <UUID> and the file's extension beside the file, which then takes the file's place in one
// rename, so the track file is never missing; the audio is copied as it is.
class EmbedTrackMetadata {
 public:
  using ReplaceFile =
      std::function<void(const std::filesystem::path& from, const std::filesystem::path& to)>;

  // Raises CDRipError::encodingFailed when the tagged copy cannot be made (the copy is then
  // removed and the file stays untagged), or the std::filesystem::filesystem_error of
  // replaceFile (the tagged copy then stays beside the untagged file).
  void operator()(const std::filesystem::path& file, const std::optional<std::string>& trackTitle,
                  std::int64_t trackNumber, std::int64_t trackTotal,
                  const std::optional<std::string>& albumArtist,
                  const std::optional<std::string>& albumTitle,
                  const std::optional<std::vector<std::uint8_t>>& artwork,
                  const std::optional<GaplessTiming>& gapless = std::nullopt,
                  disc::AudioFormat format = disc::AudioFormat::aac) const;

  // Puts the tagged copy in the file's place: rename(2), atomic within one folder.
  ReplaceFile replaceFile = [](const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::rename(from, to);
  };
};

}  // namespace noru::rip
