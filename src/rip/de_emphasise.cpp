#include "rip/de_emphasise.h"

#include <algorithm>
#include <cmath>

namespace noru::rip {
namespace {

// A first-order shelf y[n] = b0 x[n] + b1 x[n-1] + a1 y[n-1] with unity gain at 0 Hz, fitted
// to the analog curve (1 + s * 15 µs) / (1 + s * 50 µs) at 44.1 kHz: within 0.08 dB of it from
// 100 Hz to 20 kHz (the bilinear transform alone is 1 dB off at 16 kHz).
constexpr double kB0 = 0.4601001966502382;
constexpr double kB1 = -0.0888207471873474;
constexpr double kA1 = 0.6287205505371092;

std::int16_t sampleAt(std::span<const std::uint8_t> pcm, std::size_t index) {
  return static_cast<std::int16_t>(pcm[2 * index] | (pcm[2 * index + 1] << 8));
}

}  // namespace

std::vector<std::uint8_t> deEmphasise(std::span<const std::uint8_t> pcm) {
  std::vector<std::uint8_t> out(pcm.size() - pcm.size() % 4);
  const std::size_t frames = out.size() / 4;
  for (std::size_t channel = 0; channel < 2; ++channel) {
    double previousIn = 0;
    double previousOut = 0;
    for (std::size_t frame = 0; frame < frames; ++frame) {
      const std::size_t index = frame * 2 + channel;
      const double in = sampleAt(pcm, index);
      const double value = kB0 * in + kB1 * previousIn + kA1 * previousOut;
      previousIn = in;
      previousOut = value;
      const auto sample =
          static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
      out[2 * index] = static_cast<std::uint8_t>(sample & 0xFF);
      out[2 * index + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
  }
  return out;
}

}  // namespace noru::rip
