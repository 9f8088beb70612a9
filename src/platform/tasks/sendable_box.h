#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace noru::platform::tasks {

// A shared box with one optional value that one task fills while another thread may reach for
// it at the same moment, e.g. the handle of a read task that a cancellation handler must cancel.
// Hold it through std::shared_ptr.
template <class T>
class SendableBox {
 public:
  using Action = std::function<void(T&)>;

  // Fills the box, and applies to the new value every action that was waiting for one.
  void put(T value) {
    std::vector<Action> waiting;
    std::optional<T> current;
    {
      std::lock_guard lock(mutex_);
      value_ = std::move(value);
      waiting.swap(waiting_);
      current = value_;
    }
    for (auto& action : waiting) {
      action(*current);
    }
  }

  std::optional<T> value() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

  // Applies `action` to a copy of the value now if the box holds one, otherwise to the value
  // that is put next. Nothing slips between the check and the wait, so a cancellation that
  // comes just before the handle does is not lost.
  void whenFilled(Action action) {
    std::optional<T> current;
    {
      std::lock_guard lock(mutex_);
      if (!value_) {
        waiting_.push_back(std::move(action));
        return;
      }
      current = value_;
    }
    action(*current);
  }

 private:
  mutable std::mutex mutex_;
  std::optional<T> value_;
  std::vector<Action> waiting_;
};

}  // namespace noru::platform::tasks
