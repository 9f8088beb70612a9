#pragma once

#include <mutex>
#include <optional>
#include <utility>

namespace noru::platform::tasks {

// A shared box with one optional value that one task fills while another thread may read it
// at the same moment, e.g. the handle of a read task that a cancellation handler must cancel.
// Hold it through std::shared_ptr.
template <class T>
class SendableBox {
 public:
  void put(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

  std::optional<T> value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  void clear() {
    std::lock_guard lock(mutex_);
    value_.reset();
  }

 private:
  mutable std::mutex mutex_;
  std::optional<T> value_;
};

}  // namespace noru::platform::tasks
