#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/log/diagnostic_log.h"

namespace noru::testing {

// Collects every diagnostic line written while it exists, from any thread.
class CapturedLog {
 public:
  CapturedLog();

  std::vector<std::string> lines() const;
  // Lines that begin with `prefix`, in order.
  std::vector<std::string> linesStartingWith(const std::string& prefix) const;
  bool contains(const std::string& line) const;
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  platform::log::ScopedSink sink_;
};

}  // namespace noru::testing
