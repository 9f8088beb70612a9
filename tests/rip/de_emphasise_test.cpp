// The de-emphasis of pre-emphasised tracks against the analog 50/15 µs curve it stands for.
#include "rip/de_emphasise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/media_files.h"

namespace noru::rip {
namespace {

// |(1 + jωT2) / (1 + jωT1)| in dB, the curve players apply to pre-emphasised discs.
double analogDeEmphasisDB(double hertz) {
  const double w = 2 * std::numbers::pi * hertz;
  return 10 * std::log10((1 + std::pow(w * 15e-6, 2)) / (1 + std::pow(w * 50e-6, 2)));
}

TEST(DeEmphasise, FollowsTheAnalogCurveAndKeepsTheLowFrequencies) {
  const double tones[] = {100, 1000, 5000, 10000, 16000, 20000};
  std::vector<std::uint8_t> pcm;
  for (int frame = 0; frame < 44100; ++frame) {
    double value = 0;
    for (const double hertz : tones) {
      value += 0.15 * std::sin(2 * std::numbers::pi * hertz * frame / 44100.0);
    }
    const auto sample = static_cast<std::uint16_t>(std::lround(value * 32767));
    for (int channel = 0; channel < 2; ++channel) {
      pcm.push_back(static_cast<std::uint8_t>(sample & 0xFF));
      pcm.push_back(static_cast<std::uint8_t>(sample >> 8));
    }
  }
  const auto out = deEmphasise(pcm);
  ASSERT_EQ(out.size(), pcm.size());
  for (const double hertz : tones) {
    const double change = testing::toneLevelDB(out, hertz) - testing::toneLevelDB(pcm, hertz);
    EXPECT_NEAR(change, analogDeEmphasisDB(hertz), 0.15) << hertz << " Hz";
  }
  EXPECT_NEAR(analogDeEmphasisDB(1000), -0.4, 0.05);
  EXPECT_NEAR(analogDeEmphasisDB(16000), -9.0, 0.1);
}

}  // namespace
}  // namespace noru::rip
