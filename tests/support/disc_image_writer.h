#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace noru::testing {

inline constexpr std::int32_t kImageSectorBytes = 2352;

// One track of a disc image to write.
struct ImageTrackPlan {
  std::int32_t sectors = 75;  // from INDEX 01 to the end of the track
  // MODE1/2048 (2048-byte data sectors) instead of AUDIO (raw 2352-byte sectors of synthesized
  // 16-bit stereo PCM).
  bool data = false;
  std::int32_t indexZeroSectors = 0;     // a pregap stored in the file (INDEX 00 ahead of INDEX 01)
  std::int32_t silentPregapSectors = 0;  // a PREGAP line: silence that is not in the file
  bool newFile = false;                  // begins a new FILE entry (the first track always does)
  std::string sheetLines;                // more lines of the TRACK ("    ISRC ...\n")
  bool silentIndexZero = false;          // the INDEX 00 pregap holds digital silence
  std::vector<double> tones;             // the frequencies of the audio, instead of its own tone
};

// Where a written track lies on the imagined disc.
struct WrittenTrack {
  int number = 0;
  std::int32_t startSector = 0;  // logical block of INDEX 01
  std::int32_t sectors = 0;      // as planned
};

// A CUE/BIN image on disk and what a drive serving it must deliver.
struct WrittenDiscImage {
  std::filesystem::path cuePath;
  std::vector<WrittenTrack> tracks;
  std::int32_t leadOutSector = 0;

  // The raw audio a drive delivers for `count` sectors from logical block `firstSector`:
  // the synthesized PCM of the tracks and their INDEX 00 pregaps, zeros for PREGAP silence.
  // Data sectors are not audio and read here as zeros.
  std::vector<std::uint8_t> discAudio(std::int32_t firstSector, std::int32_t count) const {
    const auto begin = disc.begin() + std::int64_t{firstSector} * kImageSectorBytes;
    return {begin, begin + std::int64_t{count} * kImageSectorBytes};
  }

  // Every sector of the disc from block 0 to the lead-out, as discAudio describes them.
  std::vector<std::uint8_t> disc;
};

// Writes `name`.cue and its BIN file(s) ("name.bin", "name-2.bin", ...) into `folder`, laid
// out as a CD: the first file's first sector is logical block 0 and each track's area
// (PREGAP, INDEX 00 part, INDEX 01 part) follows the previous one. Audio is a tone that
// differs per track (and a quieter one in INDEX 00 pregaps), so misplaced bytes show.
// `discLines` open the sheet ("CATALOG ...\n").
WrittenDiscImage writeDiscImage(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<ImageTrackPlan>& tracks,
                                const std::string& discLines = "");

}  // namespace noru::testing
