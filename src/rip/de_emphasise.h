#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace noru::rip {

// CD audio (16-bit little-endian stereo at 44.1 kHz) mastered with pre-emphasis, as a player
// that honours the flag would play it: through the 50/15 µs de-emphasis curve, which lowers the
// treble (-0.4 dB at 1 kHz, -9 dB at 16 kHz) and leaves the low frequencies as they are.
std::vector<std::uint8_t> deEmphasise(std::span<const std::uint8_t> pcm);

}  // namespace noru::rip
