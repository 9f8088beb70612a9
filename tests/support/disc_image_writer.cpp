#include "support/disc_image_writer.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace noru::testing {
namespace {

constexpr int kSamplesPerSector = kImageSectorBytes / 4;
constexpr std::int32_t kDataSectorBytes = 2048;

std::string msf(std::int64_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(frames / 4500),
                static_cast<int>(frames / 75 % 60), static_cast<int>(frames % 75));
  return text;
}

void appendSample(std::vector<std::uint8_t>& out, double value) {
  const auto sample = static_cast<std::int16_t>(std::lround(value * 32767.0));
  const auto bits = static_cast<std::uint16_t>(sample);
  out.push_back(static_cast<std::uint8_t>(bits & 0xFF));
  out.push_back(static_cast<std::uint8_t>(bits >> 8));
}

std::vector<std::uint8_t> tone(double hertz, double amplitude, std::int32_t sectors,
                               std::int64_t firstSample) {
  std::vector<std::uint8_t> pcm;
  pcm.reserve(static_cast<std::size_t>(sectors) * kImageSectorBytes);
  const std::int64_t samples = std::int64_t{sectors} * kSamplesPerSector;
  for (std::int64_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(firstSample + i) / 44100.0;
    appendSample(pcm, amplitude * std::sin(2 * std::numbers::pi * hertz * t));
    appendSample(pcm, amplitude * std::sin(2 * std::numbers::pi * hertz * t + 0.5));
  }
  return pcm;
}

std::vector<std::uint8_t> pregapAudio(int trackNumber, std::int32_t sectors) {
  return tone(110.0 + 10.0 * trackNumber, 0.05, sectors, 0);
}

std::vector<std::uint8_t> dataSectors(int trackNumber, std::int32_t sectors) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(sectors) * kDataSectorBytes);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 31 + trackNumber) & 0xFF);
  }
  return bytes;
}

void write(std::ofstream& out, const std::vector<std::uint8_t>& bytes) {
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

std::vector<std::uint8_t> synthesizedAudio(int trackNumber, std::int32_t sectors,
                                           std::int64_t firstSample) {
  return tone(330.0 + 110.0 * trackNumber, 0.4, sectors, firstSample);
}

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
  std::int64_t fileFrame = 0;  // sectors written to the current file
  std::int32_t cursor = 0;     // disc sector
  auto appendDisc = [&](const std::vector<std::uint8_t>& bytes) {
    image.disc.insert(image.disc.end(), bytes.begin(), bytes.end());
  };
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const auto& plan = tracks[i];
    const int number = static_cast<int>(i) + 1;
    const bool data = plan.kind == ImageTrackPlan::Kind::mode1Data;
    if (i == 0 || plan.newFile) {
      const auto binName = image.binPaths.empty()
                               ? name + ".bin"
                               : name + "-" + std::to_string(image.binPaths.size() + 1) + ".bin";
      image.binPaths.push_back(folder / binName);
      bin = std::ofstream(image.binPaths.back(), std::ios::binary | std::ios::trunc);
      fileFrame = 0;
      sheet += "FILE \"" + binName + "\" BINARY\n";
    }
    char trackLine[64];
    std::snprintf(trackLine, sizeof trackLine, "  TRACK %02d %s\n", number,
                  data ? "MODE1/2048" : "AUDIO");
    sheet += trackLine;
    if (plan.silentPregapSectors > 0) {
      sheet += "    PREGAP " + msf(plan.silentPregapSectors) + "\n";
      appendDisc(std::vector<std::uint8_t>(
          static_cast<std::size_t>(plan.silentPregapSectors) * kImageSectorBytes, 0));
      cursor += plan.silentPregapSectors;
    }
    if (plan.indexZeroSectors > 0) {
      sheet += "    INDEX 00 " + msf(fileFrame) + "\n";
      if (data) {
        write(bin, dataSectors(number, plan.indexZeroSectors));
        appendDisc(std::vector<std::uint8_t>(
            static_cast<std::size_t>(plan.indexZeroSectors) * kImageSectorBytes, 0));
      } else {
        const auto pcm = pregapAudio(number, plan.indexZeroSectors);
        write(bin, pcm);
        appendDisc(pcm);
      }
      fileFrame += plan.indexZeroSectors;
      cursor += plan.indexZeroSectors;
    }
    sheet += "    INDEX 01 " + msf(fileFrame) + "\n";
    image.tracks.push_back({number, cursor, plan.sectors, data});
    if (data) {
      write(bin, dataSectors(number, plan.sectors));
      appendDisc(
          std::vector<std::uint8_t>(static_cast<std::size_t>(plan.sectors) * kImageSectorBytes, 0));
    } else {
      const auto pcm = synthesizedAudio(number, plan.sectors);
      write(bin, pcm);
      appendDisc(pcm);
    }
    fileFrame += plan.sectors;
    cursor += plan.sectors;
    if (!bin) {
      throw std::runtime_error("cannot write " + image.binPaths.back().string());
    }
  }
  image.leadOutSector = cursor;
  bin.close();
  std::ofstream cue(image.cuePath, std::ios::trunc);
  cue << sheet;
  if (!cue) {
    throw std::runtime_error("cannot write " + image.cuePath.string());
  }
  return image;
}

}  // namespace noru::testing
