#include "platform/linux/cd_audio_read.h"

#include <cerrno>

#include "platform/linux/audio_device.h"

namespace noru::platform::linux_cd {

cdrom_read_audio readAudioRequest(std::int32_t firstSector, int sectors, std::uint8_t* buffer) {
  cdrom_read_audio request{};
  request.addr.lba = firstSector;
  request.addr_format = CDROM_LBA;
  request.nframes = sectors;
  request.buf = buffer;
  return request;
}

int readAudioSectors(SystemCalls& calls, int descriptor, std::int32_t firstSector, int sectors,
                     std::uint8_t* buffer) {
  if (sectors < 1 || sectors > kMaxSectorsPerRead || firstSector < 0) {
    errno = EINVAL;
    return -1;
  }
  auto request = readAudioRequest(firstSector, sectors, buffer);
  return calls.ioctlPointer(descriptor, CDROMREADAUDIO, &request) < 0 ? -1 : 0;
}

}  // namespace noru::platform::linux_cd
