#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace noru::platform::linux_cd {

inline constexpr int kAudioSectorBytes = 2352;
inline constexpr int kMaxSectorsPerRead = 75;
inline constexpr int kSamplesPerSector = 588;  // 16-bit stereo samples

// The C2 error pointers a drive hands with its audio: one bit per audio byte that the drive
// could not correct, in the layout of 294 bytes a sector or of 296 (with a block-error byte),
// or none at all.
enum class C2Mode { none, bits294, bits296 };

// Raw CD-DA reading, shaped like the system calls it stands for: each call returns what the
// system call would and leaves errno set when it fails.
class AudioDevice {
 public:
  virtual ~AudioDevice() = default;

  // Opens the drive whose medium is `bsdName` for reading. A descriptor >= 0, or -1 and errno.
  virtual int open(const std::string& bsdName) = 0;

  // Reads `sectors` (1 to kMaxSectorsPerRead) 2352-byte audio sectors from logical block
  // `firstSector` into `buffer`. 0, or -1 and errno.
  virtual int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                        std::uint8_t* buffer) = 0;

  // Reads like readAudio and marks in `flagged` (sectors * kSamplesPerSector bytes, one per
  // stereo sample) the samples of which the drive's C2 error pointers flag any byte: non-zero
  // there, zero elsewhere. A drive without error pointers reads with readAudio and clears
  // `flagged`. The flags say "suspect", never "right": many drives leave errors unflagged.
  virtual int readAudioFlagged(int descriptor, std::int32_t firstSector, int sectors,
                               std::uint8_t* buffer, std::uint8_t* flagged) {
    std::memset(flagged, 0, static_cast<std::size_t>(sectors) * kSamplesPerSector);
    return readAudio(descriptor, firstSector, sectors, buffer);
  }

  // The error pointers readAudioFlagged gets from the drive behind `descriptor`, as far as its
  // reads so far have found out.
  virtual C2Mode errorPointers(int /*descriptor*/) { return C2Mode::none; }

  virtual int close(int descriptor) = 0;
};

}  // namespace noru::platform::linux_cd
