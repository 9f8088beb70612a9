#include "support/disc_image_writer.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace noru::testing {
namespace {

constexpr std::int32_t kDataSectorBytes = 2048;

std::string msf(std::int64_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(frames / 4500),
                static_cast<int>(frames / 75 % 60), static_cast<int>(frames % 75));
  return text;
}

// A stereo sine tone as 16-bit little-endian PCM, the right channel out of phase.
std::vector<std::uint8_t> tone(double hertz, double amplitude, std::int32_t sectors) {
  std::vector<std::uint8_t> pcm;
  pcm.reserve(static_cast<std::size_t>(sectors) * kImageSectorBytes);
  for (std::int64_t i = 0; i < std::int64_t{sectors} * kImageSectorBytes / 4; ++i) {
    const double phase = 2 * std::numbers::pi * hertz * static_cast<double>(i) / 44100.0;
    for (double value : {std::sin(phase), std::sin(phase + 0.5)}) {
      const auto bits = static_cast<std::uint16_t>(std::lround(amplitude * value * 32767.0));
      pcm.push_back(static_cast<std::uint8_t>(bits & 0xFF));
      pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
  }
  return pcm;
}

std::vector<std::uint8_t> zeros(std::int32_t sectors, std::int32_t sectorBytes) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(sectors) * sectorBytes, 0);
}

}  // namespace

std::vector<std::uint8_t> WrittenDiscImage::discAudio(std::int32_t firstSector,
                                                      std::int32_t count) const {
  const auto begin = disc.begin() + std::int64_t{firstSector} * kImageSectorBytes;
  return {begin, begin + std::int64_t{count} * kImageSectorBytes};
}

WrittenDiscImage writeDiscImage(const std::filesystem::path& folder, const std::string& name,
                                const std::vector<ImageTrackPlan>& tracks) {
  WrittenDiscImage image;
  image.cuePath = folder / (name + ".cue");
  std::string sheet = "REM written by the test support\n";
  std::ofstream bin;
  int files = 0;
  std::int64_t fileSector = 0;  // sectors written to the current file
  // Writes `sectors` sectors of the track to the file and to the disc model: audio `pcm`, or
  // for a data track 2048-byte sectors that the disc model holds as zeros.
  auto put = [&](int number, bool data, std::int32_t sectors, std::vector<std::uint8_t> pcm) {
    auto bytes = data ? zeros(sectors, kDataSectorBytes) : pcm;
    for (std::size_t i = 0; data && i < bytes.size(); ++i) {
      bytes[i] = static_cast<std::uint8_t>((i * 31 + number) & 0xFF);
    }
    bin.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    const auto audio = data ? zeros(sectors, kImageSectorBytes) : pcm;
    image.disc.insert(image.disc.end(), audio.begin(), audio.end());
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
    if (plan.silentPregapSectors > 0) {
      sheet += "    PREGAP " + msf(plan.silentPregapSectors) + "\n";
      const auto silence = zeros(plan.silentPregapSectors, kImageSectorBytes);
      image.disc.insert(image.disc.end(), silence.begin(), silence.end());
    }
    if (plan.indexZeroSectors > 0) {
      sheet += "    INDEX 00 " + msf(fileSector) + "\n";
      put(number, plan.data, plan.indexZeroSectors,
          tone(110.0 + 10.0 * number, 0.05, plan.indexZeroSectors));
    }
    sheet += "    INDEX 01 " + msf(fileSector) + "\n";
    image.tracks.push_back(
        {number, static_cast<std::int32_t>(image.disc.size() / kImageSectorBytes), plan.sectors});
    put(number, plan.data, plan.sectors, tone(330.0 + 110.0 * number, 0.4, plan.sectors));
    if (!bin) {
      throw std::runtime_error("cannot write the BIN files of " + image.cuePath.string());
    }
  }
  image.leadOutSector = static_cast<std::int32_t>(image.disc.size() / kImageSectorBytes);
  bin.close();
  std::ofstream cue(image.cuePath, std::ios::trunc);
  cue << sheet;
  if (!cue) {
    throw std::runtime_error("cannot write " + image.cuePath.string());
  }
  return image;
}

}  // namespace noru::testing
