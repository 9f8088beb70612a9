// Imports verified against a stand-in for the AccurateRip database: every track accurate, one
// track not, a disc the database does not know, an answer that cannot be read, an import of the
// album again stopped half way, and a disc whose first track is data.
#include <zlib.h>

#include <QFrame>

#include <iomanip>
#include <sstream>

#include "accuraterip/disc_identifiers.h"
#include "disc/parse_full_toc.h"
#include "journeys/journey.h"
#include "support/accuraterip_files.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

std::string hex(std::uint32_t value) {
  std::ostringstream text;
  text << std::uppercase << std::hex << std::setw(8) << std::setfill('0') << value;
  return text.str();
}

class VerifiedImport : public Journey {
 protected:
  // Launches the program, inserts a disc of `plan` and waits for the service's release, whose
  // tracks are named `titles`. The program numbers the audio tracks from 1.
  void insert(const std::vector<ImageTrackPlan>& plan, const std::vector<std::string>& titles) {
    std::vector<std::pair<int, std::string>> numbered;
    for (const auto& title : titles) {
      numbered.emplace_back(static_cast<int>(numbered.size()) + 1, title);
      names.push_back("0" + std::to_string(numbered.size()) + " " + title + ".m4a");
    }
    service.respond("POST", "/v1/cd/lookup", 200, serviceAnswer({{.tracks = numbered}}));
    launch();
    disc = insertDisc(plan);
    for (std::size_t index = 0; index < plan.size(); ++index) {
      if (!plan[index].data) {
        audio.push_back(disc.tracks[index]);
      }
    }
    ASSERT_TRUE(waitForRelease());
    const auto toc = drives->readFullToc(*images->devices()->back().bsdName);
    identifiers = *accuraterip::DiscIdentifiers::from(*disc::parseFullTOCLayout(toc.bytes));
  }

  // AccurateRip v2 of an audio track (the algorithm itself is checked against the published
  // one in the AccurateRip tests).
  std::uint32_t checksumV2(std::size_t index) const {
    return accurateRipV2Of(disc, audio[index], index == 0, index + 1 == audio.size());
  }

  // The database's file for the disc, in its layout: one entry per audio track, in disc order.
  // One pressing whose audio track N (from 1) has confidence 10 + N and the track's own
  // checksum, but for `wrongTrack`.
  void answerWithOwnChecksums(int wrongTrack = 0) {
    std::vector<std::pair<std::uint8_t, std::uint32_t>> tracks;
    for (std::size_t index = 0; index < audio.size(); ++index) {
      const int number = static_cast<int>(index) + 1;
      tracks.emplace_back(10 + number, checksumV2(index) + (number == wrongTrack ? 1 : 0));
    }
    service.respond("GET", identifiers.databasePath(), 200, accurateRipBlock(identifiers, tracks),
                    "application/octet-stream");
  }

  // Imports the disc and waits for the completion notice in the style of `notice` ("Success"
  // or "Warning") with `summary`.
  bool importAndWaitFor(const QString& notice, const QString& summary) {
    click("Import Disc");
    return waitFor([&] {
      return shows(kImportComplete) && shows(summary) &&
             shown<QFrame>([&](const QFrame& frame) { return frame.accessibleName() == notice; });
    });
  }

  // The log's section of each audio track, with its result, and the lines about the disc.
  void expectLog(const std::vector<std::string>& results, const std::string& accurateRip) {
    const std::string log = fileContents(albumFolder() / "rip.log");
    EXPECT_TRUE(log.starts_with("NoruCDRipper ")) << log;
    EXPECT_NE(log.find("Read offset: none (a disc image is read exactly as it was written)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("AccurateRip: " + accurateRip + "\n"), std::string::npos) << log;
    for (std::size_t index = 0; index < audio.size(); ++index) {
      const auto& track = audio[index];
      const auto pcm = disc.discAudio(track.startSector, track.sectors);
      const auto crc = ::crc32(0, pcm.data(), static_cast<uInt>(pcm.size()));
      const std::string section = "Track " + std::to_string(index + 1) +
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
  std::vector<WrittenTrack> audio;
  std::vector<std::string> names;  // of the audio tracks' files
  accuraterip::DiscIdentifiers identifiers;
};

TEST_F(VerifiedImport, TheWindowAndTheLogTellWhichTracksTheDatabaseConfirms) {
  insert({{.sectors = 150}, {.sectors = 120}, {.sectors = 100}}, {"One", "Two", "Three"});
  answerWithOwnChecksums();
  // Each track's verdict shows while the next one is read.
  drives->holdReadAt(audio[1].startSector + 10);
  click("Import Disc");
  ASSERT_TRUE(waitForText("Track 1: accurate (confidence 11)"));
  drives->release();
  ASSERT_TRUE(waitFor([&] { return shows(kImportComplete); }));
  EXPECT_TRUE(shows("3 of 3 tracks accurately ripped"));
  expectLog({"accurate (confidence 11, v2)", "accurate (confidence 12, v2)",
             "accurate (confidence 13, v2)"},
            "disc found (1 pressing)");

  // A track that the database knows otherwise is no plain success.
  answerWithOwnChecksums(2);
  ASSERT_TRUE(importAndWaitFor(
      "Warning", "2 of 3 tracks accurately ripped\nTrack 2 not accurately ripped (file kept)"));
  expectLog({"accurate (confidence 11, v2)", "not accurate", "accurate (confidence 13, v2)"},
            "disc found (1 pressing)");
  EXPECT_TRUE(fs::exists(albumFolder() / "02 Two.m4a"));

  service.respond("GET", identifiers.databasePath(), 404, "");
  ASSERT_TRUE(importAndWaitFor("Success", "3 tracks could not be verified"));
  const std::string notFound = "could not be verified (disc not in the database)";
  expectLog({notFound, notFound, notFound}, "disc not in the database");

  // An answer that is no whole number of entries came from the database all the same.
  service.respond("GET", identifiers.databasePath(), 200, "\x03\x01\x02",
                  "application/octet-stream");
  ASSERT_TRUE(importAndWaitFor("Success", "3 tracks could not be verified"));
  const std::string unreadable = "could not be verified (the database's answer could not be read)";
  expectLog({unreadable, unreadable, unreadable},
            "the database answered with something that could not be read (AccurateRip answer of 3 "
            "bytes is no whole number of 40-byte blocks)");

  // "Stop and Remove Files" in an import of the album again leaves the album as it was.
  const std::string earlierLog = fileContents(albumFolder() / "rip.log");
  const std::string earlierTrack = fileContents(albumFolder() / "01 One.m4a");
  drives->holdReadAt(audio[1].startSector + 10);
  click("Import Disc");
  ASSERT_TRUE(waitFor([&] { return drives->isHolding(); }));
  stopAndRemoveFiles();
  drives->release();
  ASSERT_TRUE(waitFor([&] { return importHasEnded(); }));
  quit();
  EXPECT_EQ(fileContents(albumFolder() / "rip.log"), earlierLog);
  EXPECT_EQ(fileContents(albumFolder() / "01 One.m4a"), earlierTrack);
  EXPECT_EQ(filesUnder(albumFolder()).size(), 5u) << "three tracks, the cover, the log";
}

// The database holds entries for the audio tracks only: on a disc whose first track is data, the
// first audio track (track 2 on the disc) is its first entry.
TEST_F(VerifiedImport, ADiscWhoseFirstTrackIsDataIsVerifiedTrackByTrack) {
  insert({{.sectors = 300, .data = true}, {.sectors = 150}, {.sectors = 120}}, {"One", "Two"});
  EXPECT_EQ(identifiers.audioTrackCount, 2);
  answerWithOwnChecksums();
  ASSERT_TRUE(importAndWaitFor("Success", "2 of 2 tracks accurately ripped"));
  expectLog({"accurate (confidence 11, v2)", "accurate (confidence 12, v2)"},
            "disc found (1 pressing)");
}

}  // namespace
}  // namespace noru::testing
