// Imports verified against a stand-in for the AccurateRip database: every track accurate, one
// track not, a disc the database does not know, and an import stopped half way.
#include <zlib.h>

#include <cstring>
#include <iomanip>
#include <sstream>

#include "accuraterip/disc_identifiers.h"
#include "disc/parse_full_toc.h"
#include "journeys/journey.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << std::uppercase << std::hex << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

void putWord(std::string& bytes, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<char>(word >> shift));
  }
}

class VerifiedImport : public Journey {
 protected:
  void SetUp() override {
    service.respond("POST", "/v1/cd/lookup", 200,
                    serviceAnswer({{.tracks = {{1, "One"}, {2, "Two"}, {3, "Three"}}}}));
    launch();
    disc = insertDisc({{.sectors = 150}, {.sectors = 120}, {.sectors = 100}});
    ASSERT_TRUE(waitForRelease());
    const auto toc = drives->readFullToc(*images->devices()->back().bsdName);
    identifiers = *accuraterip::DiscIdentifiers::from(*disc::parseFullTOCLayout(toc.bytes));
  }

  // AccurateRip v2 of a track as published: each stereo sample as a little-endian 32-bit word
  // times its 1-based position, the low and high halves of the products summed; the first
  // track counts from position 2940 on, the last leaves out its last 2940 samples.
  std::uint32_t checksumV2(std::size_t index) const {
    const auto& track = disc.tracks[index];
    const auto pcm = disc.discAudio(track.startSector, track.sectors);
    const std::uint64_t last = pcm.size() / 4 - (index + 1 == disc.tracks.size() ? 2940 : 0);
    std::uint32_t sum = 0;
    for (std::uint64_t position = index == 0 ? 2940 : 1; position <= last; ++position) {
      std::uint32_t word = 0;
      std::memcpy(&word, &pcm[(position - 1) * 4], 4);
      const std::uint64_t product = word * position;
      sum += static_cast<std::uint32_t>(product) + static_cast<std::uint32_t>(product >> 32);
    }
    return sum;
  }

  // The database's file for the disc: one pressing whose track N has confidence 10 + N and
  // the track's own checksum, but for `wrongTrack`.
  void answerWithOwnChecksums(int wrongTrack = 0) {
    std::string body(1, static_cast<char>(disc.tracks.size()));
    for (std::uint32_t id : {identifiers.id1, identifiers.id2, identifiers.cddbId}) {
      putWord(body, id);
    }
    for (std::size_t index = 0; index < disc.tracks.size(); ++index) {
      const int number = static_cast<int>(index) + 1;
      body.push_back(static_cast<char>(10 + number));
      putWord(body, checksumV2(index) + (number == wrongTrack ? 1 : 0));
      putWord(body, 0);
    }
    service.respond("GET", identifiers.databasePath(), 200, body, "application/octet-stream");
  }

  bool importAndWaitFor(const QString& summary) {
    click("Import Disc");
    return waitFor([&] { return shows(kImportComplete) && shows(summary); });
  }

  // The log's section of each track, with its result.
  void expectLogResults(const std::vector<std::string>& results) {
    const std::string log = fileContents(albumFolder() / "rip.log");
    EXPECT_TRUE(log.starts_with("NoruCDRipper ")) << log;
    EXPECT_NE(log.find("Read offset: 0 samples (known for this drive)\n"), std::string::npos);
    const char* names[] = {"01 One.m4a", "02 Two.m4a", "03 Three.m4a"};
    for (std::size_t index = 0; index < disc.tracks.size(); ++index) {
      const auto& track = disc.tracks[index];
      const auto pcm = disc.discAudio(track.startSector, track.sectors);
      const auto crc = ::crc32(0, pcm.data(), static_cast<uInt>(pcm.size()));
      const std::string section = "Track " + std::to_string(track.number) +
                                  "\n  File: " + names[index] +
                                  "\n  Sectors: " + std::to_string(track.startSector) + "-" +
                                  std::to_string(track.startSector + track.sectors - 1) +
                                  "\n  CRC-32: " + hex(static_cast<std::uint32_t>(crc)) + "\n";
      EXPECT_NE(log.find(section), std::string::npos) << section << log;
      const std::string result =
          "AccurateRip v2: " + hex(checksumV2(index)) + "\n  Result: " + results[index] + "\n";
      EXPECT_NE(log.find(result), std::string::npos) << result << log;
    }
  }

  WrittenDiscImage disc;
  accuraterip::DiscIdentifiers identifiers;
};

TEST_F(VerifiedImport, TheWindowAndTheLogTellWhichTracksTheDatabaseConfirms) {
  answerWithOwnChecksums();
  // Each track's verdict shows while the next one is read.
  drives->holdReadAt(disc.tracks[1].startSector + 10);
  click("Import Disc");
  ASSERT_TRUE(waitForText("Track 1: accurate (confidence 11)"));
  drives->release();
  ASSERT_TRUE(waitFor([&] { return shows(kImportComplete); }));
  EXPECT_TRUE(shows("3 of 3 tracks accurately ripped"));
  expectLogResults({"accurate (confidence 11, v2)", "accurate (confidence 12, v2)",
                    "accurate (confidence 13, v2)"});

  answerWithOwnChecksums(2);
  ASSERT_TRUE(importAndWaitFor(
      "2 of 3 tracks accurately ripped\nTrack 2 not accurately ripped (file kept)"));
  expectLogResults(
      {"accurate (confidence 11, v2)", "not accurate", "accurate (confidence 13, v2)"});
  EXPECT_TRUE(fs::exists(albumFolder() / "02 Two.m4a"));

  service.respond("GET", identifiers.databasePath(), 404, "");
  ASSERT_TRUE(importAndWaitFor("3 tracks could not be verified"));
  const std::string notFound = "could not be verified (disc not in the database)";
  expectLogResults({notFound, notFound, notFound});

  // A stopped import takes the log away with the rest of what it wrote.
  drives->holdReadAt(disc.tracks[1].startSector + 10);
  click("Import Disc");
  ASSERT_TRUE(waitFor([&] { return drives->isHolding(); }));
  stopAndRemoveFiles();
  drives->release();
  ASSERT_TRUE(waitFor([&] { return importHasEnded(); }));
  quit();
  EXPECT_FALSE(fs::exists(albumFolder() / "rip.log"));
  EXPECT_FALSE(fs::exists(albumFolder() / "01 One.m4a"));
}

}  // namespace
}  // namespace noru::testing
