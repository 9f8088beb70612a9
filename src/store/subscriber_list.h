#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "store/subscription.h"

namespace noru::store {

// Main-thread list of callbacks for one published value. Subscriptions may outlive the list
// and may be cancelled while a notification is running.
template <class Value>
class SubscriberList {
 public:
  using Callback = std::function<void(const Value&)>;

  Subscription add(Callback callback) {
    auto entry = std::make_shared<Entry>(Entry{std::move(callback), true});
    entries_->push_back(entry);
    std::weak_ptr<Entries> weakEntries = entries_;
    std::weak_ptr<Entry> weakEntry = entry;
    return Subscription([weakEntries, weakEntry] {
      auto entries = weakEntries.lock();
      auto cancelled = weakEntry.lock();
      if (!entries || !cancelled) {
        return;
      }
      cancelled->active = false;
      std::erase(*entries, cancelled);
    });
  }

  void notify(const Value& value) const {
    const Entries snapshot = *entries_;
    for (const auto& entry : snapshot) {
      if (entry->active) {
        entry->callback(value);
      }
    }
  }

  std::size_t size() const { return entries_->size(); }

 private:
  struct Entry {
    Callback callback;
    bool active;
  };
  using Entries = std::vector<std::shared_ptr<Entry>>;

  std::shared_ptr<Entries> entries_ = std::make_shared<Entries>();
};

}  // namespace noru::store
