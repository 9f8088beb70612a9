#pragma once

#include <cstdint>
#include <string>

namespace noru::platform::linux_cd {

inline constexpr int kAudioSectorBytes = 2352;
inline constexpr int kMaxSectorsPerRead = 75;

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

  virtual int close(int descriptor) = 0;
};

}  // namespace noru::platform::linux_cd
