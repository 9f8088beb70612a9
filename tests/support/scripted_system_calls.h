#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/linux/system_calls.h"

namespace noru::testing {

// System calls that pass through to the real ones unless a test scripts them, and that count
// every descriptor opened and closed. Safe to use from several threads.
class ScriptedSystemCalls final : public platform::linux_cd::SystemCalls {
 public:
  // Hooks replace the real call; leave one empty to pass it through. A scripted open that
  // succeeds should return a descriptor number no real file uses, such as 900.
  std::function<int(const char* path, int flags)> onOpen;
  std::function<int(int descriptor, unsigned long request, void* arg)> onIoctlPointer;
  std::function<int(int descriptor, unsigned long request, long arg)> onIoctlValue;

  int opened() const { return locked(opened_); }
  int closed() const { return locked(closed_); }
  std::vector<int> stillOpen() const { return locked(stillOpen_); }

  int open(const char* path, int flags) override {
    const int descriptor = onOpen ? onOpen(path, flags) : real().open(path, flags);
    std::lock_guard lock(mutex_);
    if (descriptor >= 0) {
      ++opened_;
      stillOpen_.push_back(descriptor);
    }
    return descriptor;
  }
  int close(int descriptor) override {
    {
      std::lock_guard lock(mutex_);
      ++closed_;
      const auto found = std::ranges::find(stillOpen_, descriptor);
      if (found == stillOpen_.end()) {
        return -1;  // closing what was never opened here is a fault the counts must show
      }
      stillOpen_.erase(found);
    }
    return onOpen ? 0 : real().close(descriptor);
  }
  int ioctlPointer(int descriptor, unsigned long request, void* argument) override {
    return onIoctlPointer ? onIoctlPointer(descriptor, request, argument)
                          : real().ioctlPointer(descriptor, request, argument);
  }
  int ioctlValue(int descriptor, unsigned long request, long argument) override {
    return onIoctlValue ? onIoctlValue(descriptor, request, argument)
                        : real().ioctlValue(descriptor, request, argument);
  }
  ssize_t pread(int descriptor, void* buffer, std::size_t count, off_t offset) override {
    return real().pread(descriptor, buffer, count, offset);
  }

 private:
  static SystemCalls& real() { return platform::linux_cd::systemCalls(); }
  template <class T>
  T locked(const T& record) const {
    std::lock_guard lock(mutex_);
    return record;
  }

  mutable std::mutex mutex_;
  int opened_ = 0;
  int closed_ = 0;
  std::vector<int> stillOpen_;
};

}  // namespace noru::testing
