#pragma once

#include <optional>
#include <string_view>

namespace noru::disc {

// What an import encodes its tracks to: AAC at 256 kbit/s in M4A (the default), Apple Lossless
// in M4A, or FLAC.
enum class AudioFormat { aac, alac, flac };

// The ending of a track file of the format, dot included.
constexpr std::string_view extensionOf(AudioFormat format) {
  return format == AudioFormat::flac ? ".flac" : ".m4a";
}

// Whether the format keeps the audio exactly as read.
constexpr bool isLossless(AudioFormat format) {
  return format != AudioFormat::aac;
}

// The format's name where it is stored ("aac", "alac", "flac"), and back; nothing for a name
// that is none of them.
constexpr std::string_view nameOf(AudioFormat format) {
  switch (format) {
    case AudioFormat::aac:
      return "aac";
    case AudioFormat::alac:
      return "alac";
    case AudioFormat::flac:
      return "flac";
  }
  return "aac";
}
constexpr std::optional<AudioFormat> audioFormatNamed(std::string_view name) {
  for (const auto format : {AudioFormat::aac, AudioFormat::alac, AudioFormat::flac}) {
    if (nameOf(format) == name) {
      return format;
    }
  }
  return std::nullopt;
}

}  // namespace noru::disc
