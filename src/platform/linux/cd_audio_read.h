#pragma once

#include <linux/cdrom.h>

#include <cstdint>

#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// The CDROMREADAUDIO request for `sectors` raw sectors from logical block `firstSector`.
cdrom_read_audio readAudioRequest(std::int32_t firstSector, int sectors, std::uint8_t* buffer);

// Reads 1 to 75 sectors with CDROMREADAUDIO. 0, or -1 and errno (EINVAL for a count outside
// that range, without asking the drive).
int readAudioSectors(SystemCalls& calls, int descriptor, std::int32_t firstSector, int sectors,
                     std::uint8_t* buffer);

}  // namespace noru::platform::linux_cd
