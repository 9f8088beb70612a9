#include "platform/linux/device_node.h"

#include <fcntl.h>

namespace noru::platform::linux_cd {

bool isPlainDeviceName(std::string_view name) {
  return !name.empty() && name.size() < 256 && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string deviceNodePath(std::string_view name) {
  return "/dev/" + std::string(name);
}

int deviceOpenFlags() {
  return O_RDONLY | O_NONBLOCK | O_CLOEXEC;
}

}  // namespace noru::platform::linux_cd
