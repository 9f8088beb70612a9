// Any byte string as the reply of a drive to READ TOC/PMA/ATIP (full TOC): the parser must
// neither fail nor return a layout that breaks the promises of CDDiscInfo.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "disc/parse_full_toc.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "parse_full_toc_fuzzer: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto info = noru::disc::parseFullTOC(std::span<const std::uint8_t>(data, size));
  if (!info) {
    return 0;
  }
  // Never empty, numbered 1, 2, ... in order, each track at least one sector long, and the
  // total counted up to the end of the last one.
  if (info->tracks.empty()) {
    fail("a disc without tracks");
  }
  for (std::size_t i = 0; i < info->tracks.size(); ++i) {
    const auto& track = info->tracks[i];
    if (track.number != static_cast<std::int64_t>(i) + 1 || track.sectorCount <= 0) {
      fail("a track out of sequence or without sectors");
    }
  }
  const auto& last = info->tracks.back();
  if (info->totalSectors != last.startSector + last.sectorCount) {
    fail("a total that is not the end of the last track");
  }
  return 0;
}
