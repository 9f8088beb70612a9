#pragma once

#include <sys/types.h>

#include <cstddef>

namespace noru::platform::linux_cd {

// The system calls through which drives and image files are reached. Each returns what the
// system call returns and leaves errno set when it fails; tests put their own in place to
// script the device's answers and to count descriptors.
class SystemCalls {
 public:
  virtual ~SystemCalls() = default;

  virtual int open(const char* path, int flags) = 0;
  virtual int close(int descriptor) = 0;
  // An ioctl whose argument points at a request record.
  virtual int ioctlPointer(int descriptor, unsigned long request, void* argument) = 0;
  // An ioctl whose argument is a plain number (or unused).
  virtual int ioctlValue(int descriptor, unsigned long request, long argument) = 0;
  virtual ssize_t pread(int descriptor, void* buffer, std::size_t count, off_t offset) = 0;
};

// The real system calls.
SystemCalls& systemCalls();

}  // namespace noru::platform::linux_cd
