#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stop_token>

#include "rip/aac_file_writer.h"
#include "rip/ffmpeg_aac_file_writer.h"

namespace noru::rip {

// Encodes one track's CD audio (16-bit little-endian interleaved stereo at 44.1 kHz, held whole
// in memory) into an AAC file at 256 kbit/s in an M4A container, or into one of the lossless
// formats.
class EncodeTrackToAAC {
 public:
  static constexpr std::size_t writeChunkBytes = 16384;
  static constexpr std::int64_t bitRate = 256000;

  // Writes `pcm` to `file` (replacing an existing file) in chunks of writeChunkBytes taken in
  // place from the block. `trackNumber` only appears in diagnostic lines. Raises
  // CDRipError::encodingFailed, or CancellationError when `stop` is requested before a chunk;
  // either way, once the file was created it is removed again. Returns where the track's own
  // samples lie among those of the encoded stream.
  GaplessTiming operator()(std::span<const std::uint8_t> pcm, const std::filesystem::path& file,
                           std::int64_t trackNumber, std::stop_token stop = {},
                           disc::AudioFormat format = disc::AudioFormat::aac) const;

  std::shared_ptr<const AACFileWriter> writer = std::make_shared<FFmpegAACFileWriter>();
};

}  // namespace noru::rip
