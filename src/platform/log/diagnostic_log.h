#pragma once

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

namespace noru::platform::log {

// Receives each composed diagnostic line. The shipped program installs a DiagnosticLogFile for
// its whole run; tests install their own to see what an operation reported. Without a sink every
// line is discarded.
using Sink = std::function<void(std::string_view line)>;

bool hasSink();
void write(std::string_view line);

// Installs a sink for its lifetime and restores the previous one afterwards.
class ScopedSink {
 public:
  explicit ScopedSink(Sink sink);
  ~ScopedSink();
  ScopedSink(const ScopedSink&) = delete;
  ScopedSink& operator=(const ScopedSink&) = delete;

 private:
  Sink previous_;
};

namespace detail {
inline void append(std::string& out, std::string_view text) {
  out += text;
}
inline void append(std::string& out, const std::string& text) {
  out += text;
}
inline void append(std::string& out, const char* text) {
  out += text;
}
inline void append(std::string& out, const std::filesystem::path& path) {
  out += path.string();
}
inline void append(std::string& out, bool value) {
  out += value ? "true" : "false";
}
template <std::integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, char>) void append(std::string& out, T value) {
  out += std::to_string(value);
}
}  // namespace detail

// Joins the pieces (texts, paths, integers, booleans) into one line and hands it to the sink.
// Nothing is composed when no sink is installed.
template <class... Pieces>
void diagnostic(const Pieces&... pieces) {
  if (!hasSink()) {
    return;
  }
  std::string line;
  (detail::append(line, pieces), ...);
  write(line);
}

// printf-style "%.1f", the way durations in seconds appear in diagnostic lines.
std::string oneDecimal(double value);

}  // namespace noru::platform::log
