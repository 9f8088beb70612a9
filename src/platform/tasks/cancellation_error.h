#pragma once

#include <exception>
#include <stop_token>

namespace noru::platform::tasks {

// Raised by work that noticed that its task was cancelled.
class CancellationError : public std::exception {
 public:
  const char* what() const noexcept override { return "CancellationError"; }
};

inline void throwIfCancelled(const std::stop_token& token) {
  if (token.stop_requested()) {
    throw CancellationError();
  }
}

}  // namespace noru::platform::tasks
