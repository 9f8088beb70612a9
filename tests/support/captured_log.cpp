#include "support/captured_log.h"

#include <algorithm>

namespace noru::testing {

CapturedLog::CapturedLog()
    : sink_([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
      }) {}

std::vector<std::string> CapturedLog::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> CapturedLog::linesStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (auto& line : lines()) {
    if (line.starts_with(prefix)) {
      matching.push_back(line);
    }
  }
  return matching;
}

bool CapturedLog::contains(const std::string& line) const {
  const auto all = lines();
  return std::find(all.begin(), all.end(), line) != all.end();
}

void CapturedLog::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

}  // namespace noru::testing
