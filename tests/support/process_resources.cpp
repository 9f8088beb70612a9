#include "support/process_resources.h"

#include <filesystem>
#include <iterator>

namespace noru::testing {
namespace {

std::size_t entriesIn(const char* folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator()));
}

}  // namespace

std::size_t liveThreadCount() {
  return entriesIn("/proc/self/task");
}

std::size_t openFileDescriptorCount() {
  // The iterator's own descriptor of the folder is counted every time, so it cancels out.
  return entriesIn("/proc/self/fd");
}

}  // namespace noru::testing
