#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "disc/audio_format.h"
#include "rip/gapless_timing.h"

namespace noru::rip {

// Writes a track's audio into a file of one of the import formats (AAC or Apple Lossless in
// M4A, or FLAC). The encoder reaches the audio libraries only through this adapter, so that a
// test can put a failing writer in its place. Every status is 0 on success
// or a negative library error code (an AVERROR value for the FFmpeg writer).
class AACFileWriter {
 public:
  // One file open for writing. Destroying it closes the file, finished or not.
  class OpenFile {
   public:
    virtual ~OpenFile() = default;

    // Declares the samples that write() receives: 16-bit little-endian interleaved stereo at
    // 44,100 frames per second.
    virtual int setClientFormat() = 0;
    // Asks the encoder for this bit rate; valid before the first write only. Lossless formats
    // have no rate to ask for and ignore it.
    virtual int setBitRate(std::int64_t bitsPerSecond) = 0;
    // Appends the whole frames (4 bytes each) of `pcm`.
    virtual int write(std::span<const std::uint8_t> pcm) = 0;
    // Encodes what is still buffered, writes the container's index and closes the file.
    virtual int finish() = 0;
    // What the encoder did to the samples it was given; complete once finish() succeeded. A
    // lossless encoder adds neither priming nor padding.
    virtual GaplessTiming timing() const = 0;
  };

  struct Created {
    int status = 0;
    std::unique_ptr<OpenFile> file;  // present when status is 0
  };

  virtual ~AACFileWriter() = default;

  // Creates `file` in `format`, replacing an existing file of that name. A failed creation
  // leaves the file system as it was.
  virtual Created create(const std::filesystem::path& file, disc::AudioFormat format) const = 0;
};

}  // namespace noru::rip
