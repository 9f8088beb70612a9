#pragma once

#include <cstdint>
#include <string>

namespace noru::rip {

// Which samples of an encoded AAC stream are the track's own: the encoder's priming comes
// ahead of them and the padding that fills the last frame comes after them, so that priming +
// sampleCount + padding is the number of frames written times the frame size.
struct GaplessTiming {
  std::int64_t priming = 0;
  std::int64_t padding = 0;
  std::int64_t sampleCount = 0;

  bool operator==(const GaplessTiming&) const = default;
};

// The value of the "iTunSMPB" item that Apple's players read for gapless playback: twelve
// space-led hex words, of which the second to fourth are priming, padding and the sample count
// (the last one 16 digits wide), the others zero.
std::string iTunSMPBText(const GaplessTiming& timing);

}  // namespace noru::rip
