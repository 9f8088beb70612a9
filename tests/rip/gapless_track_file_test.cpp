// Track files that play back to back without a gap or a click: the edit list and the iTunSMPB
// item both say exactly which samples of the encoded stream belong to the track.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <regex>

#include "platform/image/image_drive_registry.h"
#include "rip/embed_track_metadata.h"
#include "rip/encode_track_to_aac.h"
#include "rip/rip_cd_track.h"
#include "support/media_files.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using noru::testing::decodeIgnoringEditList;
using noru::testing::readEditList;
using noru::testing::readM4AItems;
using noru::testing::TemporaryFolder;

constexpr std::int64_t kFrameSize = 1024;

// Priming, padding and sample count as a player reads them from the item's text, which must
// have the twelve space-led hexadecimal words of the usual widths.
GaplessTiming readITunSMPB(const std::string& text) {
  static const std::regex words("( [0-9A-F]{8}){3} [0-9A-F]{16}( [0-9A-F]{8}){8}");
  EXPECT_TRUE(std::regex_match(text, words)) << text;
  unsigned long long priming = 0, padding = 0, sampleCount = 0;
  std::sscanf(text.c_str(), "%*x %llx %llx %llx", &priming, &padding, &sampleCount);
  return {.priming = static_cast<std::int64_t>(priming),
          .padding = static_cast<std::int64_t>(padding),
          .sampleCount = static_cast<std::int64_t>(sampleCount)};
}

TEST(GaplessTrackFile, EditListAndITunSMPBStateTheTrackToTheSample) {
  TemporaryFolder folder;
  for (const std::int64_t frames : {1, 588, 1024, 1025, 176988}) {
    SCOPED_TRACE(frames);
    const auto file = folder.path() / (std::to_string(frames) + ".m4a");
    const auto timing = EncodeTrackToAAC{}(
        noru::testing::syntheticCDAudio(static_cast<std::size_t>(frames)), file, 1);
    EmbedTrackMetadata{}(file, {.title = "Title", .number = 1, .total = 1}, timing);

    const auto edit = readEditList(file);
    EXPECT_EQ(edit.movieTimescale, 44100);
    EXPECT_EQ(edit.mediaTime, 1024) << "the encoder's priming";
    EXPECT_EQ(edit.segmentDuration, frames);

    const auto smpb = readITunSMPB(readM4AItems(file).iTunSMPB.value_or(""));
    EXPECT_EQ(smpb, timing);
    EXPECT_EQ(smpb.priming, edit.mediaTime);
    EXPECT_EQ(smpb.sampleCount, frames);
    EXPECT_EQ(smpb.priming + smpb.sampleCount + smpb.padding, edit.packets * kFrameSize);
    // A player that ignores both still plays every sample, with priming and padding around.
    EXPECT_EQ(std::ssize(decodeIgnoringEditList(file)) / 2, edit.packets * kFrameSize);
  }
}

// A tone that runs on across a track boundary, as in a live album.
using ContinuousTone = noru::testing::RuntimeFixture;
constexpr std::int32_t kFirstSectors = 101;
constexpr std::int32_t kSecondSectors = 124;
constexpr std::int64_t kFrames = (kFirstSectors + kSecondSectors) * 588;

float tone(std::int64_t frame, int channel) {
  const double phase = 2 * std::numbers::pi * 997.0 * static_cast<double>(frame) / 44100.0;
  return static_cast<float>(0.5 * (channel == 0 ? std::sin(phase) : std::cos(phase)));
}

TEST_F(ContinuousTone, JoinedTracksPlayTheToneWithoutGapOverlapOrClick) {
  TemporaryFolder folder;
  {
    std::ofstream bin(folder.path() / "tone.bin", std::ios::binary);
    for (std::int64_t frame = 0; frame < kFrames; ++frame) {
      for (int channel = 0; channel < 2; ++channel) {
        const auto bits = static_cast<std::uint16_t>(std::lround(tone(frame, channel) * 32767));
        bin.put(static_cast<char>(bits & 0xFF)).put(static_cast<char>(bits >> 8));
      }
    }
    std::ofstream(folder.path() / "tone.cue")
        << "FILE \"tone.bin\" BINARY\n"
           "  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
           "  TRACK 02 AUDIO\n    INDEX 01 00:01:26\n";  // sector 101
  }
  auto drives = std::make_shared<platform::image::ImageDriveRegistry>();
  const auto device = drives->addImage(folder.path() / "tone.cue");
  RipCDTrack rip;
  AlbumFolder album(folder.path());
  // Reads report their progress to the main thread, which this one is.
  auto files = runner.spawn([&](std::stop_token stop) {
    disc::DiscReader reader(drives, *device.bsdName, {0, kFirstSectors + kSecondSectors}, false);
    std::vector<fs::path> written;
    for (const auto& track :
         {disc::CDTrackInfo{.number = 1, .startSector = 0, .sectorCount = kFirstSectors},
          disc::CDTrackInfo{
              .number = 2, .startSector = kFirstSectors, .sectorCount = kSecondSectors}}) {
      const auto audio = rip.read(
          reader, track, [](double) {}, stop);
      written.push_back(
          rip.write(audio.pcm, track, {.trackTitle = "Part", .trackTotal = 2}, album, stop));
    }
    return written;
  });
  ASSERT_TRUE(mainQueue.runUntil([&] { return files.hasEnded(); }, std::chrono::minutes(2)));
  std::vector<float> joined;  // the tracks' own samples: the decoded streams, edit lists applied
  for (const auto& file : files.value()) {
    const auto edit = readEditList(file);
    EXPECT_EQ(edit.movieTimescale, edit.mediaTimescale);
    const auto all = decodeIgnoringEditList(file);
    joined.insert(joined.end(), all.begin() + 2 * edit.mediaTime,
                  all.begin() + 2 * (edit.mediaTime + edit.segmentDuration));
  }
  ASSERT_EQ(static_cast<std::int64_t>(joined.size()), 2 * kFrames);

  // The largest difference from the tone over `frames` frames from `start`, the decoded
  // signal shifted by `lag`.
  const auto error = [&](std::int64_t start, std::int64_t frames, std::int64_t lag) {
    float worst = 0;
    for (std::int64_t frame = start; frame < start + frames; ++frame) {
      for (int channel = 0; channel < 2; ++channel) {
        worst =
            std::max(worst, std::abs(joined[2 * (frame + lag) + channel] - tone(frame, channel)));
      }
    }
    return worst;
  };
  const std::int64_t join = kFirstSectors * 588;
  // Each file starts with the encoder's own onset error, as the first track does at the start
  // of the disc; a gap or an overlap would add a shift of the whole second track.
  const float onsetAtDiscStart = error(0, 768, 0);
  EXPECT_LE(error(join, 768, 0), 1.5f * onsetAtDiscStart) << "a click at the join";
  const float tail = error(join - 2048, 2048, 0);
  const float head = error(join + 768, 1280, 0);
  EXPECT_LT(tail, 0.02f);
  EXPECT_LT(head, 0.03f);
  for (const std::int64_t lag : {-3, -2, -1, 1, 2, 3}) {
    EXPECT_GT(error(join + 768, 1280, lag), 2 * head) << "the second track is off by " << lag;
  }
}

}  // namespace
}  // namespace noru::rip
