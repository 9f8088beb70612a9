#pragma once

#include <cstddef>

namespace noru::testing {

// How many threads and open file descriptors the test process has right now, to show that
// some work left none of its own behind.
std::size_t liveThreadCount();
std::size_t openFileDescriptorCount();

}  // namespace noru::testing
