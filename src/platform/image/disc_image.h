#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/disc_facts.h"

namespace noru::platform::image {

// One file of the image, as a FILE entry of the cue sheet names it.
struct ImageFile {
  std::filesystem::path path;
  std::uint64_t size = 0;

  bool operator==(const ImageFile&) const = default;
};

// One track as it lies on the imagined disc.
struct ImageTrack {
  int number = 0;                // 1-based, in sheet order
  std::int32_t startSector = 0;  // logical block of INDEX 01
  bool data = false;             // MODE1 or MODE2
  std::uint8_t control = 0;      // Q sub-channel CONTROL nibble (data bit, copy, pre-emphasis)

  bool operator==(const ImageTrack&) const = default;
};

// A run of consecutive disc sectors and where their bytes are: in one of the files, or nowhere
// (a PREGAP or POSTGAP of the sheet, which reads as silence).
struct ImageExtent {
  std::int32_t firstSector = 0;
  std::int32_t sectorCount = 0;
  std::optional<std::size_t> file;  // index into DiscImage::files
  std::uint64_t byteOffset = 0;     // of firstSector within the file
  int sectorBytes = 2352;
  bool data = false;

  bool operator==(const ImageExtent&) const = default;
};

// A CUE/BIN image laid out as a single-session disc: the first sector of the first file is
// logical block 0, the files follow one another, and the lead-out follows the last track.
struct DiscImage {
  std::filesystem::path cuePath;
  std::vector<ImageFile> files;
  std::vector<ImageTrack> tracks;
  std::vector<ImageExtent> extents;  // in sector order, without gaps from sector 0 on
  std::int32_t leadOutSector = 0;
  bool extendedArchitecture = false;  // a MODE2 track makes it a CD-ROM XA disc
  // The sheet's CATALOG and CD-Text: the packs of its CDTEXTFILE when that can be read and
  // holds text, else its TITLE and PERFORMER lines (UTF-8, or else taken as Latin-1).
  linux_cd::DiscFacts facts;
  std::map<int, std::string> isrcs;  // the valid ISRC lines, by track number

  bool operator==(const DiscImage&) const = default;
};

// Reads and checks the cue sheet at `cuePath` and the files it names. Raises ImageError, with
// a message for the user, for a missing or malformed sheet, a missing file or one shorter than
// the sheet says, a file type other than BINARY, and an image without audio tracks.
DiscImage loadDiscImage(const std::filesystem::path& cuePath);

}  // namespace noru::platform::image
