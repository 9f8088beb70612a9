#include "platform/image/disc_image.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/image/image_error.h"
#include "platform/image/sheet_tracks.h"
#include "platform/linux/cd_text_packs.h"

namespace noru::platform::image {
namespace {

// Cue sheets are a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxSheetBytes = 1 << 20;
// The last address a disc's table of contents can express is 99:59:74, frames counted from
// the start of the lead-in.
constexpr std::int64_t kLastAbsoluteFrame = 99 * 4500 + 59 * 75 + 74;
constexpr std::int64_t kLeadInFrames = 150;
constexpr int kMaxTracks = 99;

// Where a track's sectors lie in its file: from its INDEX 00 (or INDEX 01) up to the next
// track's, or to the end of the file.
struct TrackArea {
  std::int64_t firstFrame = 0;
  std::uint64_t byteOffset = 0;
  std::int64_t sectors = 0;
  std::size_t file = 0;
};

std::string quoted(const std::filesystem::path& path) {
  return "\"" + path.string() + "\"";
}

int sectorBytesOf(TrackMode mode) {
  switch (mode) {
    case MODE_MODE1:
    case MODE_MODE2_FORM1:
      return 2048;
    case MODE_MODE2:
      return 2336;
    case MODE_MODE2_FORM2:
      return 2324;
    case MODE_MODE2_FORM_MIX:
      return 2332;
    case MODE_AUDIO:
    case MODE_MODE1_RAW:
    case MODE_MODE2_RAW:
      return 2352;
  }
  return 2352;
}

bool isModeTwo(TrackMode mode) {
  return mode == MODE_MODE2 || mode == MODE_MODE2_FORM1 || mode == MODE_MODE2_FORM2 ||
         mode == MODE_MODE2_FORM_MIX || mode == MODE_MODE2_RAW;
}

std::string readSheet(const std::filesystem::path& cuePath) {
  std::error_code error;
  const auto size = std::filesystem::file_size(cuePath, error);
  if (error || !std::filesystem::is_regular_file(cuePath, error)) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " cannot be read.");
  }
  if (size > kMaxSheetBytes) {
    throw ImageError("The file " + quoted(cuePath) + " is too large to be a cue sheet.");
  }
  std::ifstream in(cuePath, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " cannot be read.");
  }
  return text;
}

std::string upperCase(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return word;
}

// What a look at the sheet's lines tells before libcue reads it: the type word that ends each
// FILE line ("BINARY", "WAVE", ...) and the number of TRACK lines (libcue silently folds every
// track beyond the 99th into the last one).
// It also finds the CATALOG line, which libcue does not pass on.
struct SheetOutline {
  std::vector<std::string> fileTypes;
  int trackLines = 0;
  std::string catalog;
};

SheetOutline outlineOf(const std::string& sheet) {
  SheetOutline outline;
  std::istringstream lines(sheet);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    first = upperCase(first);
    if (first == "TRACK") {
      ++outline.trackLines;
    } else if (first == "CATALOG") {
      words >> outline.catalog;
    } else if (first == "FILE") {
      std::string word, last;
      while (words >> word) {
        last = word;
      }
      outline.fileTypes.push_back(upperCase(last));
    }
  }
  return outline;
}

SheetContents parseSheet(const std::string& sheet, const std::filesystem::path& cuePath) {
  auto contents = readSheetContents(sheet);
  if (!contents) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " is not a valid cue sheet.");
  }
  const auto* tracks = &contents->tracks;
  if (tracks->empty()) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " lists no tracks.");
  }
  if (std::ssize(*tracks) > kMaxTracks) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " lists more than 99 tracks.");
  }
  for (const auto& track : *tracks) {
    if (track.fileName.empty()) {
      throw ImageError("Track " + std::to_string(track.number) + " of " + quoted(cuePath) +
                       " belongs to no FILE.");
    }
  }
  return std::move(*contents);
}

// A text of the sheet as UTF-8: sheets are written in UTF-8 or in Latin-1.
std::optional<std::string> sheetText(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  return linux_cd::isUTF8(text) ? text : linux_cd::latin1ToUTF8(text);
}

// The packs of a CD-Text file, with or without the 4-byte header of a drive's answer (and the
// NUL that some writers add after the packs).
linux_cd::CDText cdTextFileText(const std::filesystem::path& file) {
  // A disc holds at most 8 blocks of 256 packs; anything else the sheet names (a device, a
  // huge file) is not read.
  constexpr std::size_t kLargestFile = 8 * 256 * linux_cd::kCDTextPackBytes + 5;
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    return {};
  }
  std::ifstream in(file, std::ios::binary);
  std::vector<std::uint8_t> bytes(kLargestFile + 1);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (bytes.size() > kLargestFile) {
    return {};
  }
  const std::size_t header = bytes.size() % linux_cd::kCDTextPackBytes >= 4 ? 4 : 0;
  return linux_cd::decodeCDTextPacks(std::span(bytes).subspan(std::min(header, bytes.size())));
}

std::map<int, std::string> isrcsOf(const SheetContents& sheet) {
  std::map<int, std::string> isrcs;
  for (const auto& track : sheet.tracks) {
    if (const auto isrc = linux_cd::validISRC(track.isrc)) {
      isrcs[track.number] = *isrc;
    }
  }
  return isrcs;
}

linux_cd::DiscFacts factsOf(const SheetContents& sheet, const SheetOutline& outline,
                            const std::filesystem::path& cuePath) {
  linux_cd::DiscFacts facts{.mcn = linux_cd::validMCN(outline.catalog)};
  if (!sheet.cdTextFile.empty()) {
    facts.text = cdTextFileText(cuePath.parent_path() / sheet.cdTextFile);
  }
  if (!facts.text.empty()) {
    return facts;
  }
  facts.text.albumTitle = sheetText(sheet.title);
  facts.text.albumPerformer = sheetText(sheet.performer);
  for (const auto& track : sheet.tracks) {
    if (auto title = sheetText(track.title)) {
      facts.text.trackTitles[track.number] = std::move(*title);
    }
    if (auto performer = sheetText(track.performer)) {
      facts.text.trackPerformers[track.number] = std::move(*performer);
    }
  }
  return facts;
}

ImageFile openImageFile(const std::string& fileName, const std::filesystem::path& cuePath) {
  std::filesystem::path path(fileName);
  if (path.is_relative()) {
    path = cuePath.parent_path() / path;
  }
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    throw ImageError("The file " + quoted(path) + " named in " + quoted(cuePath) +
                     " does not exist.");
  }
  const auto size = std::filesystem::file_size(path, error);
  if (error) {
    throw ImageError("The file " + quoted(path) + " cannot be read.");
  }
  return {path, size};
}

[[noreturn]] void throwShorterThanSheet(const ImageFile& file, const std::filesystem::path& cuePath,
                                        int track) {
  throw ImageError("The file " + quoted(file.path) + " is shorter than " + quoted(cuePath) +
                   " says (track " + std::to_string(track) + ").");
}

// Finds where each track's sectors lie in its file and checks them against the file's size.
std::vector<TrackArea> locateTracks(const std::vector<SheetTrack>& tracks,
                                    std::vector<ImageFile>& files,
                                    const std::filesystem::path& cuePath) {
  std::vector<TrackArea> areas(tracks.size());
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const auto& track = tracks[i];
    if (track.index1 < 0) {
      throw ImageError("Track " + std::to_string(track.number) + " of " + quoted(cuePath) +
                       " has no INDEX 01.");
    }
    if (track.index0 > track.index1) {
      throw ImageError("Track " + std::to_string(track.number) + " of " + quoted(cuePath) +
                       " has its INDEX 00 after its INDEX 01.");
    }
    const bool firstInFile = i == 0 || tracks[i - 1].fileName != track.fileName;
    if (firstInFile) {
      files.push_back(openImageFile(track.fileName, cuePath));
    }
    auto& area = areas[i];
    area.file = files.size() - 1;
    area.firstFrame = track.index0 >= 0 ? track.index0 : track.index1;
    if (firstInFile) {
      area.byteOffset = static_cast<std::uint64_t>(area.firstFrame) * sectorBytesOf(track.mode);
    } else {
      const auto& previous = tracks[i - 1];
      auto& previousArea = areas[i - 1];
      if (area.firstFrame <= previous.index1) {
        throw ImageError("Track " + std::to_string(track.number) + " of " + quoted(cuePath) +
                         " begins before the track ahead of it.");
      }
      previousArea.sectors = area.firstFrame - previousArea.firstFrame;
      area.byteOffset = previousArea.byteOffset + static_cast<std::uint64_t>(previousArea.sectors) *
                                                      sectorBytesOf(previous.mode);
    }
    const auto& file = files[area.file];
    if (area.byteOffset > file.size) {
      throwShorterThanSheet(file, cuePath, track.number);
    }
    const bool lastInFile = i + 1 == tracks.size() || tracks[i + 1].fileName != track.fileName;
    if (lastInFile) {
      const auto remaining = file.size - area.byteOffset;
      const int sectorBytes = sectorBytesOf(track.mode);
      if (remaining % sectorBytes != 0) {
        throw ImageError("The file " + quoted(file.path) + " does not end on a whole " +
                         std::to_string(sectorBytes) + "-byte sector.");
      }
      area.sectors = static_cast<std::int64_t>(remaining / sectorBytes);
    }
  }
  // Each track needs at least one sector from its INDEX 01 on.
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    if (areas[i].sectors <= tracks[i].index1 - areas[i].firstFrame) {
      throwShorterThanSheet(files[areas[i].file], cuePath, tracks[i].number);
    }
  }
  return areas;
}

}  // namespace

DiscImage loadDiscImage(const std::filesystem::path& cuePath) {
  DiscImage image;
  image.cuePath = cuePath;
  const auto sheet = readSheet(cuePath);
  const auto outline = outlineOf(sheet);
  for (const auto& type : outline.fileTypes) {
    if (type != "BINARY") {
      throw ImageError("The cue sheet " + quoted(cuePath) + " names a " + type +
                       " file; only raw BINARY files can be read as a disc.");
    }
  }
  if (outline.trackLines > kMaxTracks) {
    throw ImageError("The cue sheet " + quoted(cuePath) + " lists more than 99 tracks.");
  }
  const auto contents = parseSheet(sheet, cuePath);
  const auto& tracks = contents.tracks;
  image.facts = factsOf(contents, outline, cuePath);
  image.isrcs = isrcsOf(contents);
  const auto areas = locateTracks(tracks, image.files, cuePath);

  // Lays the tracks one after another from sector 0 on; every run is checked against the
  // longest disc before it is added, so that the sector numbers below cannot overflow.
  std::int64_t cursor = 0;
  auto addRun = [&](std::int64_t sectors, std::optional<std::size_t> file, std::uint64_t byteOffset,
                    int sectorBytes, bool data) {
    if (cursor + sectors + kLeadInFrames > kLastAbsoluteFrame) {
      throw ImageError("The image " + quoted(cuePath) + " is longer than a CD can be.");
    }
    image.extents.push_back({static_cast<std::int32_t>(cursor), static_cast<std::int32_t>(sectors),
                             file, byteOffset, sectorBytes, data});
    cursor += sectors;
  };
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const auto& track = tracks[i];
    const auto& area = areas[i];
    const bool data = track.mode != MODE_AUDIO;
    if (track.index0 < 0 && track.pregap > 0) {
      addRun(track.pregap, std::nullopt, 0, 2352, data);
    }
    const std::int64_t startSector = cursor + track.index1 - area.firstFrame;
    addRun(area.sectors, area.file, area.byteOffset, sectorBytesOf(track.mode), data);
    image.tracks.push_back(
        {track.number, static_cast<std::int32_t>(startSector), data, track.control});
    if (track.postgap > 0) {
      addRun(track.postgap, std::nullopt, 0, 2352, data);
    }
    image.extendedArchitecture = image.extendedArchitecture || isModeTwo(track.mode);
  }
  image.leadOutSector = static_cast<std::int32_t>(cursor);
  if (std::none_of(image.tracks.begin(), image.tracks.end(),
                   [](const ImageTrack& track) { return !track.data; })) {
    throw ImageError("The image " + quoted(cuePath) + " has no audio tracks.");
  }
  return image;
}

}  // namespace noru::platform::image
