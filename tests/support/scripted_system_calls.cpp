#include "support/scripted_system_calls.h"

#include <algorithm>

namespace noru::testing {

int ScriptedSystemCalls::open(const char* path, int flags) {
  const int descriptor =
      onOpen ? onOpen(path, flags) : platform::linux_cd::systemCalls().open(path, flags);
  std::lock_guard lock(mutex_);
  if (descriptor >= 0) {
    ++opened_;
    stillOpen_.push_back(descriptor);
  }
  return descriptor;
}

int ScriptedSystemCalls::close(int descriptor) {
  {
    std::lock_guard lock(mutex_);
    ++closed_;
    const auto found = std::find(stillOpen_.begin(), stillOpen_.end(), descriptor);
    if (found == stillOpen_.end()) {
      return -1;  // closing what was never opened here is a fault the counts must show
    }
    stillOpen_.erase(found);
  }
  return onOpen ? 0 : platform::linux_cd::systemCalls().close(descriptor);
}

int ScriptedSystemCalls::ioctlPointer(int descriptor, unsigned long request, void* argument) {
  return onIoctlPointer
             ? onIoctlPointer(descriptor, request, argument)
             : platform::linux_cd::systemCalls().ioctlPointer(descriptor, request, argument);
}

int ScriptedSystemCalls::ioctlValue(int descriptor, unsigned long request, long argument) {
  return onIoctlValue ? onIoctlValue(descriptor, request, argument)
                      : platform::linux_cd::systemCalls().ioctlValue(descriptor, request, argument);
}

ssize_t ScriptedSystemCalls::pread(int descriptor, void* buffer, std::size_t count, off_t offset) {
  return platform::linux_cd::systemCalls().pread(descriptor, buffer, count, offset);
}

}  // namespace noru::testing
