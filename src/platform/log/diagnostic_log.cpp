#include "platform/log/diagnostic_log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace noru::platform::log {
namespace {

std::mutex sinkMutex;
Sink installedSink;
std::atomic<bool> sinkInstalled{false};

}  // namespace

bool hasSink() {
  return sinkInstalled.load(std::memory_order_acquire);
}

void write(std::string_view line) {
  std::lock_guard lock(sinkMutex);
  if (installedSink) {
    installedSink(line);
  }
}

ScopedSink::ScopedSink(Sink sink) {
  std::lock_guard lock(sinkMutex);
  previous_ = std::move(installedSink);
  installedSink = std::move(sink);
  sinkInstalled.store(static_cast<bool>(installedSink), std::memory_order_release);
}

ScopedSink::~ScopedSink() {
  std::lock_guard lock(sinkMutex);
  installedSink = std::move(previous_);
  sinkInstalled.store(static_cast<bool>(installedSink), std::memory_order_release);
}

std::string oneDecimal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

}  // namespace noru::platform::log
