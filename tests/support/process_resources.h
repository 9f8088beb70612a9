#pragma once

#include <filesystem>
#include <iterator>

namespace noru::testing {

// How many threads and open file descriptors the test process has right now, to show that
// some work left none of its own behind. The count of descriptors includes the one that reads
// the folder each time, so it cancels out.
inline std::size_t liveThreadCount() {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}
inline std::size_t openFileDescriptorCount() {
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

}  // namespace noru::testing
