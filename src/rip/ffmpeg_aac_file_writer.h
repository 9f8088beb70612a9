#pragma once

#include "rip/aac_file_writer.h"

namespace noru::rip {

// FFmpeg's own encoders and muxers: `aac` (AAC-LC, 44.1 kHz stereo) and `alac` through the
// `ipod` muxer, which produces M4A files, and `flac` through the `flac` muxer at the encoder's
// default compression level. Samples pass through swresample (interleaved 16-bit to the
// encoder's sample format: planar float for AAC, 16-bit for the lossless encoders, so that
// their files decode to exactly the samples given) and a FIFO that cuts them into the
// encoder's frames.
class FFmpegAACFileWriter final : public AACFileWriter {
 public:
  Created create(const std::filesystem::path& file, disc::AudioFormat format) const override;
};

}  // namespace noru::rip
