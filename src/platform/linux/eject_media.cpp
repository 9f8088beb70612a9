#include "platform/linux/eject_media.h"

#include <linux/cdrom.h>

#include <cerrno>

#include "platform/linux/device_node.h"

namespace noru::platform::linux_cd {

bool ejectMedia(SystemCalls& calls, const std::string& bsdName) {
  if (!isPlainDeviceName(bsdName)) {
    errno = ENOENT;
    return false;
  }
  const std::string path = deviceNodePath(bsdName);
  const int descriptor = calls.open(path.c_str(), deviceOpenFlags());
  if (descriptor < 0) {
    return false;
  }
  // A door that stays locked (another program holds the lock) makes the eject itself fail,
  // which is reported; the unlock's own failure says nothing more.
  calls.ioctlValue(descriptor, CDROM_LOCKDOOR, 0);
  const bool ejected = calls.ioctlValue(descriptor, CDROMEJECT, 0) == 0;
  const int refusal = errno;
  calls.close(descriptor);
  errno = refusal;
  return ejected;
}

}  // namespace noru::platform::linux_cd
