#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace noru::testing {

// CD audio for tests: `frames` stereo frames of 16-bit little-endian samples, a different tone
// in each channel, so the encoder has real signal to work on.
std::vector<std::uint8_t> syntheticCDAudio(std::size_t frames);

// What libavformat reports about the first audio stream of a file.
struct AudioStreamFacts {
  std::string codec;  // e.g. "aac"
  int profile = -1;   // e.g. FF_PROFILE_AAC_LOW (1)
  int sampleRate = 0;
  int channels = 0;
  double durationSeconds = 0;
  std::int64_t bitRate = 0;
};
// Raises std::runtime_error when the file cannot be opened or has no audio stream.
AudioStreamFacts probeAudioFile(const std::filesystem::path& file);

// The bytes of every audio packet of the file, in order: equal for two files whose audio was
// copied without re-encoding.
std::vector<std::uint8_t> audioPackets(const std::filesystem::path& file);

// The iTunes-style items of an M4A file, as TagLib reads them back.
struct M4AItems {
  std::vector<std::string> keys;  // every item's key, e.g. "trkn", "\251nam" (UTF-8)
  std::optional<std::string> title;
  std::optional<std::string> artist;
  std::optional<std::string> album;
  std::optional<std::pair<int, int>> trackNumber;
  std::vector<std::vector<std::uint8_t>> jpegCovers;  // covers in any other format are left out
};
// Raises std::runtime_error when TagLib cannot read the file as MP4.
M4AItems readM4AItems(const std::filesystem::path& file);

}  // namespace noru::testing
