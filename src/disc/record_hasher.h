#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace noru::disc {

// Combines field hashes in order. An optional contributes a presence marker, followed by its
// value when present, so that "absent" and "present but empty" hash apart.
class RecordHasher {
 public:
  template <class T>
  RecordHasher& add(const T& value) {
    mix(std::hash<T>{}(value));
    return *this;
  }

  template <class T>
  RecordHasher& add(const std::optional<T>& value) {
    mix(value.has_value() ? 1 : 0);
    if (value) {
      add(*value);
    }
    return *this;
  }

  std::size_t value() const { return state_; }

 private:
  void mix(std::size_t h) { state_ ^= h + 0x9e3779b97f4a7c15ULL + (state_ << 6) + (state_ >> 2); }

  std::size_t state_ = 0xcbf29ce484222325ULL;
};

}  // namespace noru::disc
