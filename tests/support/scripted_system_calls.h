#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "platform/linux/system_calls.h"

namespace noru::testing {

// System calls that pass through to the real ones unless a test scripts them, and that count
// every descriptor opened and closed. Safe to use from several threads.
class ScriptedSystemCalls final : public platform::linux_cd::SystemCalls {
 public:
  using OpenHook = std::function<int(const char* path, int flags)>;
  using IoctlPointerHook = std::function<int(int descriptor, unsigned long request, void* arg)>;
  using IoctlValueHook = std::function<int(int descriptor, unsigned long request, long arg)>;

  // Hooks replace the real call; leave one empty to pass it through. A scripted open that
  // succeeds should return a descriptor number no real file uses, such as 900.
  OpenHook onOpen;
  IoctlPointerHook onIoctlPointer;
  IoctlValueHook onIoctlValue;

  int opened() const { return locked(opened_); }
  int closed() const { return locked(closed_); }
  std::vector<int> stillOpen() const { return locked(stillOpen_); }

  int open(const char* path, int flags) override;
  int close(int descriptor) override;
  int ioctlPointer(int descriptor, unsigned long request, void* argument) override;
  int ioctlValue(int descriptor, unsigned long request, long argument) override;
  ssize_t pread(int descriptor, void* buffer, std::size_t count, off_t offset) override;

 private:
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
