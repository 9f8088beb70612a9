#pragma once

#include <cstdint>

namespace noru::middleware {

// Which disc lookup is the latest, shared by every copy of the ripping middleware. Every
// lookupDisc starts a new generation; the answer of an older one is dropped, so that it cannot
// offer its releases for another disc. Main thread only.
struct LookupTaskHolder {
  std::uint64_t generation = 0;
};

}  // namespace noru::middleware
