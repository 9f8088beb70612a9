#pragma once

#include "rip/aac_file_writer.h"

namespace noru::rip {

// FFmpeg's native `aac` encoder (AAC-LC, 44.1 kHz stereo) writing through the `ipod` muxer,
// which produces M4A files. Samples pass through swresample (interleaved 16-bit to the
// encoder's planar float) and a FIFO that cuts them into the encoder's 1024-sample frames.
class FFmpegAACFileWriter final : public AACFileWriter {
 public:
  Created create(const std::filesystem::path& file) const override;
};

}  // namespace noru::rip
