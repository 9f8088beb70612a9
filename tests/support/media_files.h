#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
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

// The iTunes-style items of an M4A file, as TagLib reads them back.
struct M4AItems {
  std::optional<std::string> title, artist, album;
  std::optional<std::pair<int, int>> trackNumber;
  std::optional<std::pair<int, int>> discNumber;      // and the release's discs, 0 when not told
  std::vector<std::vector<std::uint8_t>> jpegCovers;  // covers in any other format are left out
  std::optional<std::string> iTunSMPB;                // the gapless playback item
  // Every text item by its key as the format stores it ("aART", "----:com.apple.iTunes:…",
  // "ALBUMARTIST"), several values joined by " / ".
  std::map<std::string, std::string> texts;
};
// Raises std::runtime_error when TagLib cannot read the file as MP4.
M4AItems readM4AItems(const std::filesystem::path& file);
// The same items from a FLAC file's Vorbis comments and front-cover pictures.
M4AItems readFLACItems(const std::filesystem::path& file);

// The first entry of the audio track's edit list, with the time scales it is counted in, and
// how many packets the track holds, read from the file's boxes.
struct EditList {
  std::int64_t movieTimescale = 0;  // of the segment duration
  std::int64_t mediaTimescale = 0;  // of the media time
  std::int64_t segmentDuration = 0;
  std::int64_t mediaTime = 0;
  std::int64_t packets = 0;
};
// Raises std::runtime_error when the file has no edit list.
EditList readEditList(const std::filesystem::path& file);

// Every sample the decoder gives for the file's audio, the edit list ignored (priming and
// padding included): interleaved stereo floats.
std::vector<float> decodeIgnoringEditList(const std::filesystem::path& file);

// The 16-bit little-endian interleaved stereo samples of a lossless file (Apple Lossless, FLAC).
std::vector<std::uint8_t> decodeLosslessPCM(const std::filesystem::path& file);

// The amplitude, in dB of full scale, of the `hertz` component of the left channel of
// interleaved stereo samples (full scale 1.0), measured over all of them.
double toneLevelDB(const std::vector<float>& samples, double hertz);
// The same of 16-bit little-endian stereo PCM.
double toneLevelDB(const std::vector<std::uint8_t>& pcm, double hertz);

}  // namespace noru::testing
