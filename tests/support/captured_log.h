#pragma once

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "platform/log/diagnostic_log.h"

namespace noru::testing {

// Collects every diagnostic line written while it exists, from any thread.
class CapturedLog {
 public:
  // Lines that begin with `prefix`, in order.
  std::vector<std::string> linesStartingWith(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> matching;
    std::ranges::copy_if(lines_, std::back_inserter(matching),
                         [&](const std::string& line) { return line.starts_with(prefix); });
    return matching;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  platform::log::ScopedSink sink_{[this](std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
  }};
};

}  // namespace noru::testing
