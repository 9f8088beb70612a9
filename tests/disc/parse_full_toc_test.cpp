#include "disc/parse_full_toc.h"

#include <gtest/gtest.h>

#include <random>

#include "disc/toc_bytes.h"

namespace noru::disc {

// Readable failures: "1:0+12345 2:12345+10005 total 22350".
void PrintTo(const CDDiscInfo& info, std::ostream* out) {
  for (const auto& track : info.tracks) {
    *out << track.number << ":" << track.startSector << "+" << track.sectorCount << " ";
  }
  *out << "total " << info.totalSectors;
}

namespace {

using testing::audioTrack;
using testing::dataTrack;
using testing::Descriptor;
using testing::fullToc;
using testing::leadOut;

struct Msf {
  int m, s, f;
};

std::int32_t lba(Msf a) {
  return a.m * 4500 + a.s * 75 + a.f - 150;
}

// Audio tracks numbered from 1, each starting at one address and ending at the next.
CDDiscInfo tracksBetween(const std::vector<Msf>& bounds) {
  CDDiscInfo info;
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
    info.tracks.push_back(
        {static_cast<std::int64_t>(i) + 1, lba(bounds[i]), lba(bounds[i + 1]) - lba(bounds[i])});
  }
  info.totalSectors = lba(bounds.back());
  return info;
}

Descriptor withAdr(Descriptor descriptor, std::uint8_t adr) {
  descriptor.adr = adr;
  return descriptor;
}

TEST(ParseFullTOC, TracksFollowFromTheDescriptors) {
  const struct {
    const char* what;
    std::vector<Descriptor> toc;
    std::optional<CDDiscInfo> expected;
  } cases[] = {
      {"one track from 00:02:00 to 70:00:00",
       {audioTrack(1, 0, 2, 0), leadOut(70, 0, 0)},
       CDDiscInfo{{{1, 0, 314850}}, 314850}},
      {"out of POINT order",
       {leadOut(20, 0, 0), audioTrack(3, 10, 0, 0), audioTrack(1, 0, 2, 0), audioTrack(2, 5, 0, 0)},
       tracksBetween({{0, 2, 0}, {5, 0, 0}, {10, 0, 0}, {20, 0, 0}})},
      {"equal addresses drop the first, numbering stays consecutive",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 3, 0, 0), audioTrack(3, 3, 0, 0), leadOut(6, 0, 0)},
       tracksBetween({{0, 2, 0}, {3, 0, 0}, {6, 0, 0}})},
      {"ADR 5 lead-out is ignored and the last track dropped",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 4, 0, 0), withAdr(leadOut(10, 0, 0), 5)},
       tracksBetween({{0, 2, 0}, {4, 0, 0}})},
      {"ADR 5 lead-out after a single track",
       {audioTrack(1, 0, 2, 0), withAdr(leadOut(10, 0, 0), 5)},
       std::nullopt},
      {"ADR 5 track is no track",
       {audioTrack(1, 0, 2, 0), withAdr(audioTrack(2, 4, 0, 0), 5), leadOut(9, 0, 0)},
       tracksBetween({{0, 2, 0}, {9, 0, 0}})},
      {"no audio track", {dataTrack(1, 0, 2, 0), leadOut(10, 0, 0)}, std::nullopt},
      {"first track data",
       {dataTrack(1, 0, 2, 0), audioTrack(2, 15, 0, 0), audioTrack(3, 25, 0, 0), leadOut(30, 0, 0)},
       tracksBetween({{15, 0, 0}, {25, 0, 0}, {30, 0, 0}})},
      // An Enhanced CD: the last audio track ends at its own session's lead-out, neither
      // running across the session gap nor into the data track.
      {"enhanced CD",
       {audioTrack(1, 0, 2, 0, 1), audioTrack(2, 20, 0, 0, 1), leadOut(40, 0, 0, 1),
        dataTrack(3, 42, 32, 0, 2), leadOut(60, 0, 0, 2)},
       tracksBetween({{0, 2, 0}, {20, 0, 0}, {40, 0, 0}})},
      {"audio followed by data of its session",
       {audioTrack(1, 0, 2, 0), audioTrack(2, 10, 0, 0), dataTrack(3, 30, 0, 0), leadOut(50, 0, 0)},
       tracksBetween({{0, 2, 0}, {10, 0, 0}, {30, 0, 0}})},
      {"session lead-out ahead of the data track",
       {audioTrack(1, 0, 2, 0), leadOut(25, 0, 0), dataTrack(2, 30, 0, 0)},
       tracksBetween({{0, 2, 0}, {25, 0, 0}})},
      {"session without an ADR 1 lead-out keeps the disc-wide rule",
       {audioTrack(1, 0, 2, 0, 1), withAdr(leadOut(20, 0, 0, 1), 5), audioTrack(2, 22, 0, 0, 2),
        leadOut(30, 0, 0, 2)},
       tracksBetween({{0, 2, 0}, {22, 0, 0}, {30, 0, 0}})},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parseFullTOC(fullToc(c.toc)), c.expected) << c.what;
  }
}

TEST(ParseFullTOC, RefusesBytesTooShortOrInconsistentWithTheirLength) {
  // A length field below 13 leaves no room for a descriptor.
  EXPECT_FALSE(
      parseFullTOC(std::vector<std::uint8_t>{0, 12, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0}));
  const auto valid = fullToc({audioTrack(1, 0, 2, 0), leadOut(10, 0, 0)});
  ASSERT_TRUE(parseFullTOC(valid));
  for (std::size_t size = 0; size < valid.size(); ++size) {
    EXPECT_FALSE(parseFullTOC(std::span(valid).first(size))) << "prefix of " << size;
  }
}

// Random and corrupted byte strings must never crash or read out of bounds (the sanitizer
// builds check that), and whatever comes back must be a well-formed disc.
TEST(ParseFullTOC, SurvivesRandomAndCorruptedBytes) {
  std::mt19937 random(20240611);
  auto checkWellFormed = [](std::span<const std::uint8_t> bytes) {
    const auto info = parseFullTOC(bytes);
    if (!info) {
      return;
    }
    ASSERT_FALSE(info->tracks.empty());
    for (std::size_t i = 0; i < info->tracks.size(); ++i) {
      EXPECT_EQ(info->tracks[i].number, static_cast<std::int64_t>(i) + 1);
      EXPECT_GT(info->tracks[i].sectorCount, 0);
    }
    EXPECT_EQ(info->totalSectors,
              info->tracks.back().startSector + info->tracks.back().sectorCount);
  };
  const auto valid = fullToc({audioTrack(1, 0, 2, 0), audioTrack(2, 3, 0, 0),
                              dataTrack(3, 5, 0, 0, 2), leadOut(4, 0, 0), leadOut(9, 0, 0, 2)});
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(random() % 300);
    for (auto& byte : bytes) {
      byte = static_cast<std::uint8_t>(random());
    }
    if (bytes.size() >= 2 && round % 2 == 0) {  // a plausible length field reaches the scan
      const auto length = bytes.size() - 2 - random() % 3;
      bytes[0] = static_cast<std::uint8_t>(length >> 8);
      bytes[1] = static_cast<std::uint8_t>(length);
    }
    checkWellFormed(bytes);
    auto corrupted = valid;
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      corrupted[random() % corrupted.size()] = static_cast<std::uint8_t>(random());
    }
    checkWellFormed(corrupted);
  }
}

}  // namespace
}  // namespace noru::disc
