#include "platform/linux/system_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace noru::platform::linux_cd {
namespace {

class RealSystemCalls final : public SystemCalls {
 public:
  int open(const char* path, int flags) override { return ::open(path, flags); }
  int close(int descriptor) override { return ::close(descriptor); }
  int ioctlPointer(int descriptor, unsigned long request, void* argument) override {
    return ::ioctl(descriptor, request, argument);
  }
  int ioctlValue(int descriptor, unsigned long request, long argument) override {
    return ::ioctl(descriptor, request, argument);
  }
  ssize_t pread(int descriptor, void* buffer, std::size_t count, off_t offset) override {
    return ::pread(descriptor, buffer, count, offset);
  }
};

}  // namespace

SystemCalls& systemCalls() {
  static RealSystemCalls calls;
  return calls;
}

}  // namespace noru::platform::linux_cd
