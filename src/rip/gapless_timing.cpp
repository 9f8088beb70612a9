#include "rip/gapless_timing.h"

#include <cinttypes>
#include <cstdio>

namespace noru::rip {

std::string iTunSMPBText(const GaplessTiming& timing) {
  char words[128];
  std::snprintf(words, sizeof words, " 00000000 %08" PRIX32 " %08" PRIX32 " %016" PRIX64,
                static_cast<std::uint32_t>(timing.priming),
                static_cast<std::uint32_t>(timing.padding),
                static_cast<std::uint64_t>(timing.sampleCount));
  std::string text = words;
  for (int zero = 0; zero < 8; ++zero) {
    text += " 00000000";
  }
  return text;
}

}  // namespace noru::rip
