#include "disc/parse_full_toc.h"

#include <gtest/gtest.h>

#include <random>

#include "disc/toc_bytes.h"

namespace noru::disc {
namespace {

using testing::audioTrack;
using testing::dataTrack;
using testing::fullToc;
using testing::leadOut;

std::int32_t lba(int m, int s, int f) {
  return m * 4500 + s * 75 + f - 150;
}

TEST(ParseFullTOC, RefusesBytesTooShortOrInconsistentWithTheirLength) {
  const auto valid = fullToc({audioTrack(1, 0, 2, 0), leadOut(10, 0, 0)});
  ASSERT_TRUE(parseFullTOC(valid));

  EXPECT_FALSE(parseFullTOC(std::vector<std::uint8_t>{}));
  EXPECT_FALSE(parseFullTOC(std::vector<std::uint8_t>{0, 24, 1}));
  // Length field L below 13 leaves no room for a descriptor.
  EXPECT_FALSE(
      parseFullTOC(std::vector<std::uint8_t>{0, 12, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0}));
  // Fewer bytes than L + 2.
  EXPECT_FALSE(parseFullTOC(std::span(valid).first(valid.size() - 1)));
  // No audio descriptor at all.
  EXPECT_FALSE(parseFullTOC(fullToc({dataTrack(1, 0, 2, 0), leadOut(10, 0, 0)})));
}

TEST(ParseFullTOC, OneTrackFromTwoSecondsToSeventyMinutes) {
  const auto info = parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), leadOut(70, 0, 0)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(*info, (CDDiscInfo{{{1, 0, 314850}}, 314850}));
}

TEST(ParseFullTOC, SortsByPointAndNumbersTheKeptTracksFromOne) {
  const auto info = parseFullTOC(fullToc({leadOut(20, 0, 0), audioTrack(3, 10, 0, 0),
                                          audioTrack(1, 0, 2, 0), audioTrack(2, 5, 0, 0)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks,
            (std::vector<CDTrackInfo>{
                {1, 0, lba(5, 0, 0)}, {2, lba(5, 0, 0), 5 * 4500}, {3, lba(10, 0, 0), 10 * 4500}}));
  EXPECT_EQ(info->totalSectors, lba(20, 0, 0));
}

TEST(ParseFullTOC, EqualAddressesDropTheFirstAndKeepNumberingConsecutive) {
  const auto info = parseFullTOC(fullToc(
      {audioTrack(1, 0, 2, 0), audioTrack(2, 3, 0, 0), audioTrack(3, 3, 0, 0), leadOut(6, 0, 0)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks,
            (std::vector<CDTrackInfo>{{1, 0, lba(3, 0, 0)}, {2, lba(3, 0, 0), 3 * 4500}}));
}

TEST(ParseFullTOC, IgnoresALeadOutWithAnotherAdrAndThenDropsTheLastTrack) {
  auto adr5 = leadOut(10, 0, 0);
  adr5.adr = 5;
  const auto two = parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), audioTrack(2, 4, 0, 0), adr5}));
  ASSERT_TRUE(two);
  EXPECT_EQ(*two, (CDDiscInfo{{{1, 0, lba(4, 0, 0)}}, lba(4, 0, 0)}));

  EXPECT_FALSE(parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), adr5})));
  // An audio descriptor with another ADR is no track either.
  auto adr5Track = audioTrack(2, 4, 0, 0);
  adr5Track.adr = 5;
  const auto one = parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), adr5Track, leadOut(9, 0, 0)}));
  ASSERT_TRUE(one);
  EXPECT_EQ(one->tracks.size(), 1u);
  EXPECT_EQ(one->tracks[0].sectorCount, 9 * 4500 - 150);
}

// An Enhanced CD: audio in session 1, a data track in session 2, each session with its own
// lead-out. The last audio track ends at its own session's lead-out, not at the disc's last
// one, so that it neither runs across the session gap nor into the data track.
TEST(ParseFullTOC, EnhancedCDLastAudioTrackEndsAtItsSessionsLeadOut) {
  const auto info = parseFullTOC(
      fullToc({audioTrack(1, 0, 2, 0, 1), audioTrack(2, 20, 0, 0, 1), leadOut(40, 0, 0, 1),
               dataTrack(3, 42, 32, 0, 2), leadOut(60, 0, 0, 2)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks,
            (std::vector<CDTrackInfo>{{1, 0, lba(20, 0, 0)}, {2, lba(20, 0, 0), 20 * 4500}}));
  EXPECT_EQ(info->totalSectors, lba(40, 0, 0));
}

TEST(ParseFullTOC, AudioTrackFollowedByADataTrackOfItsSessionEndsWhereTheDataStarts) {
  const auto info = parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), audioTrack(2, 10, 0, 0),
                                          dataTrack(3, 30, 0, 0), leadOut(50, 0, 0)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks.back(), (CDTrackInfo{2, lba(10, 0, 0), 20 * 4500}));
  EXPECT_EQ(info->totalSectors, lba(30, 0, 0));

  // A session lead-out ahead of the data track's start bounds the audio track instead.
  const auto bounded =
      parseFullTOC(fullToc({audioTrack(1, 0, 2, 0), leadOut(25, 0, 0), dataTrack(2, 30, 0, 0)}));
  ASSERT_TRUE(bounded);
  EXPECT_EQ(bounded->tracks, (std::vector<CDTrackInfo>{{1, 0, lba(25, 0, 0)}}));
}

TEST(ParseFullTOC, FirstTrackDataLeavesTheAudioNumberedFromOne) {
  const auto info = parseFullTOC(fullToc({dataTrack(1, 0, 2, 0), audioTrack(2, 15, 0, 0),
                                          audioTrack(3, 25, 0, 0), leadOut(30, 0, 0)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks, (std::vector<CDTrackInfo>{{1, lba(15, 0, 0), 10 * 4500},
                                                    {2, lba(25, 0, 0), 5 * 4500}}));
  EXPECT_EQ(info->totalSectors, lba(30, 0, 0));
}

TEST(ParseFullTOC, SessionWithoutItsOwnLeadOutFallsBackToTheDiscWideRule) {
  // Session 1 has only an ADR 5 lead-out: its last track runs to the next audio track.
  auto adr5 = leadOut(20, 0, 0, 1);
  adr5.adr = 5;
  const auto info = parseFullTOC(
      fullToc({audioTrack(1, 0, 2, 0, 1), adr5, audioTrack(2, 22, 0, 0, 2), leadOut(30, 0, 0, 2)}));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->tracks,
            (std::vector<CDTrackInfo>{{1, 0, lba(22, 0, 0)}, {2, lba(22, 0, 0), 8 * 4500}}));
}

// Random, truncated and corrupted byte strings must never crash or read out of bounds (the
// sanitizer builds check that), and whatever comes back must be a well-formed disc.
TEST(ParseFullTOC, SurvivesRandomTruncatedAndCorruptedBytes) {
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
    const auto& last = info->tracks.back();
    EXPECT_EQ(info->totalSectors, last.startSector + last.sectorCount);
  };

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
  }

  const auto valid = fullToc({audioTrack(1, 0, 2, 0), audioTrack(2, 3, 0, 0),
                              dataTrack(3, 5, 0, 0, 2), leadOut(4, 0, 0), leadOut(9, 0, 0, 2)});
  for (std::size_t size = 0; size < valid.size(); ++size) {
    EXPECT_FALSE(parseFullTOC(std::span(valid).first(size))) << "prefix of " << size;
  }
  for (int round = 0; round < 3000; ++round) {
    auto corrupted = valid;
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      corrupted[random() % corrupted.size()] = static_cast<std::uint8_t>(random());
    }
    checkWellFormed(corrupted);
  }
}

}  // namespace
}  // namespace noru::disc
