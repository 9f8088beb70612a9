#include "support/disc_image_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace noru::testing {
namespace {

std::string msf(std::int64_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(frames / 4500),
                static_cast<int>(frames / 75 % 60), static_cast<int>(frames % 75));
  return text;
}

// `sectors` of stereo sine tones of equal amplitude as 16-bit little-endian PCM, the right
// channel out of phase.
std::vector<std::uint8_t> tone(const std::vector<double>& tones, double amplitude,
                               std::int32_t sectors) {
  std::vector<std::uint8_t> pcm;
  pcm.reserve(static_cast<std::size_t>(sectors) * kImageSectorBytes);
  for (std::int64_t i = 0; i < std::int64_t{sectors} * kImageSectorBytes / 4; ++i) {
    double left = 0;
    double right = 0;
    for (const double hertz : tones) {
      const double phase = 2 * std::numbers::pi * hertz * static_cast<double>(i) / 44100.0;
      left += std::sin(phase) / static_cast<double>(tones.size());
      right += std::sin(phase + 0.5) / static_cast<double>(tones.size());
    }
    for (double value : {left, right}) {
      const auto bits = static_cast<std::uint16_t>(std::lround(amplitude * value * 32767.0));
      pcm.insert(pcm.end(),
                 {static_cast<std::uint8_t>(bits & 0xFF), static_cast<std::uint8_t>(bits >> 8)});
    }
  }
  return pcm;
}

}  // namespace

WrittenDiscImage writeDiscImage(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<ImageTrackPlan>& tracks,
                                const std::string& discLines) {
  WrittenDiscImage image{.cuePath = folder / (name + ".cue")};
  std::string sheet = "REM written by the test support\n" + discLines;
  std::ofstream bin;
  int files = 0;
  std::int64_t fileSector = 0;  // sectors written to the current file
  // Writes the `pcm` of `sectors` sectors to the file and to the disc model; a data track
  // writes 2048-byte sectors of a pattern instead, which the disc model holds as zeros.
  auto put = [&](int number, bool data, std::int32_t sectors, std::vector<std::uint8_t> pcm) {
    std::vector<std::uint8_t> pattern(data ? static_cast<std::size_t>(sectors) * 2048 : 0);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
      pattern[i] = static_cast<std::uint8_t>((i * 31 + number) & 0xFF);
    }
    const auto& bytes = data ? pattern : pcm;
    bin.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (data) {
      std::ranges::fill(pcm, 0);
    }
    image.disc.insert(image.disc.end(), pcm.begin(), pcm.end());
    fileSector += sectors;
  };
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const auto& plan = tracks[i];
    const int number = static_cast<int>(i) + 1;
    if (i == 0 || plan.newFile) {
      const auto binName =
          ++files == 1 ? name + ".bin" : name + "-" + std::to_string(files) + ".bin";
      bin = std::ofstream(folder / binName, std::ios::binary | std::ios::trunc);
      fileSector = 0;
      sheet += "FILE \"" + binName + "\" BINARY\n";
    }
    char trackLine[64];
    std::snprintf(trackLine, sizeof trackLine, "  TRACK %02d %s\n", number,
                  plan.data ? "MODE1/2048" : "AUDIO");
    sheet += trackLine;
    sheet += plan.sheetLines;
    if (plan.silentPregapSectors > 0) {
      sheet += "    PREGAP " + msf(plan.silentPregapSectors) + "\n";
      image.disc.resize(image.disc.size() +
                        static_cast<std::size_t>(plan.silentPregapSectors) * kImageSectorBytes);
    }
    if (plan.indexZeroSectors > 0) {
      sheet += "    INDEX 00 " + msf(fileSector) + "\n";
      put(number, plan.data, plan.indexZeroSectors,
          tone({110.0 + 10.0 * number}, plan.silentIndexZero ? 0.0 : 0.05, plan.indexZeroSectors));
    }
    sheet += "    INDEX 01 " + msf(fileSector) + "\n";
    image.tracks.push_back(
        {number, static_cast<std::int32_t>(image.disc.size() / kImageSectorBytes), plan.sectors});
    put(number, plan.data, plan.sectors,
        tone(plan.tones.empty() ? std::vector{330.0 + 110.0 * number} : plan.tones, 0.4,
             plan.sectors));
    if (!bin) {
      throw std::runtime_error("cannot write the BIN files of " + image.cuePath.string());
    }
  }
  image.leadOutSector = static_cast<std::int32_t>(image.disc.size() / kImageSectorBytes);
  bin.close();
  std::ofstream cue(image.cuePath, std::ios::trunc);
  if (!(cue << sheet)) {
    throw std::runtime_error("cannot write " + image.cuePath.string());
  }
  return image;
}

}  // namespace noru::testing
