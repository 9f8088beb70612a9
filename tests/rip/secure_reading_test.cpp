// Whole imports from the drive model: sectors that fail for a while or for ever, wrong audio
// with C2 flags that tell the truth or lie, a drive cache that answers re-reads, clean discs the
// AccurateRip database knows and does not know, a medium that goes away mid-read, files written
// beside the reads, and stops while they are.
#include <openssl/evp.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "ctdb/rip_syndromes.h"
#include "disc/parse_full_toc.h"
#include "rip/rip_cd.h"
#include "support/accuraterip_files.h"
#include "support/hooked_aac_writer.h"
#include "support/media_files.h"
#include "support/model_drive.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
namespace actions = state::CDRipActions;
using testing::ModelDrive;

// Long enough that a track read again pushes its own end out of a drive's cache as it goes.
constexpr std::int32_t kTrackSectors = 2500;
constexpr int kTracks = 3;
constexpr std::int32_t kTrack2 = kTrackSectors;  // the first sector of track 2
constexpr std::int32_t kTrack3 = 2 * kTrackSectors;
constexpr std::size_t kGiB = std::size_t{1} << 30;
const std::vector<std::int32_t> kScattered = {kTrack2 + 300, kTrack2 + 600, kTrack2 + 900,
                                              kTrack2 + 1200, kTrack2 + 1500};

// What one import came to, as its actions told it.
struct Outcome {
  std::string end;            // "ripComplete", "ripStopped" or "ripFailed <message>"
  std::string verdicts;       // each track's verdicts in order, tracks apart: "A NA A"
  state::TrackDamage damage;  // the last word on each track
  // Each track's last file and the CRC of all the audio the encoder got for it.
  std::map<int, std::pair<fs::path, std::uint32_t>> encoded;
  std::size_t mostEncodesAtOnce = 0;
  std::map<int, int> encodes;  // by track
};

// How an import runs: how many files it writes at once beside the reads, and a call on each
// file's encoding thread as its encode begins, with the track's number.
struct ImportSetup {
  OverlappedWrites::Bounds bounds = OverlappedWrites::Bounds::ofMachine();
  std::function<void(int)> encodeBegins;
  std::chrono::milliseconds ctdbPatience = std::chrono::seconds(10);
};

// Whether `condition` holds within ten seconds.
bool within10s(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return condition();
}

class SecureReadingTest : public testing::RuntimeFixture {
 protected:
  SecureReadingTest() {
    server.respond("GET", "/accuraterip/DriveOffsets.bin", 200,
                   testing::driveOffsetRecord("NORU - MODEL DRIVE", 0), "application/octet-stream");
  }

  std::vector<std::uint8_t> cleanAudio(int number) const {
    return image.discAudio((number - 1) * kTrackSectors, kTrackSectors);
  }

  // Has the stand-in for the database know the disc, with the clean tracks' checksums, or not.
  void answerFor(ModelDrive& drive, bool known) {
    const auto toc = drive.readFullToc(drive.bsdName());
    const auto ids = *accuraterip::DiscIdentifiers::from(*disc::parseFullTOCLayout(toc.bytes));
    server.respond("GET", ids.databasePath(), known ? 200 : 404,
                   known ? testing::accurateRipFileOf(image, ids, 20) : "",
                   "application/octet-stream");
  }

  Outcome import(ModelDrive& drive, const ImportSetup& setup = {}) {
    RipCD ripCD(std::shared_ptr<ModelDrive>(&drive, [](ModelDrive*) {}),
                {.accurateRip = server.url(), .cueToolsDatabase = server.url()});
    ripCD.writeBounds = setup.bounds;
    ripCD.ctdbPatience = setup.ctdbPatience;
    // The encoder gets the first second of each track, enough for a real file to tag; the CRC
    // of all the audio it was handed is kept by track, the last encode of a track counting.
    auto writer = std::make_shared<testing::HookedAACWriter>();
    writer->bytesEncoded = 44100 * 4;
    Outcome outcome;
    std::mutex encoding;
    writer->beforeWrite = [&](const fs::path& file, std::span<const std::uint8_t> pcm) {
      std::unique_lock lock(encoding);
      const auto name = file.filename().string();  // ".Track 02.m4a.<suffix>"
      const int number = std::stoi(name.substr(name.find_first_of("0123456789"), 2));
      auto& [path, crc] = outcome.encoded[number];
      const bool begins = path != file;
      crc = static_cast<std::uint32_t>(::crc32_z(begins ? 0 : crc, pcm.data(), pcm.size()));
      path = file;
      outcome.encodes[number] += begins ? 1 : 0;
      lock.unlock();
      if (begins && setup.encodeBegins) {
        setup.encodeBegins(number);
      }
    };
    ripCD.ripTrack.encodeToAAC.writer = writer;
    std::vector<disc::CDTrackInfo> tracks;
    for (int number = 1; number <= kTracks; ++number) {
      tracks.push_back({number, (number - 1) * kTrackSectors, kTrackSectors});
    }
    std::map<std::int64_t, std::string> verdicts;
    auto dispatch = [&](state::AnyAction any) {
      mainQueue.post([&, any = std::move(any)] {
        const auto& action = std::get<state::CDRipAction>(any);
        if (const auto* verified = std::get_if<actions::trackVerified>(&action)) {
          verdicts[verified->track] += "ANU"[verified->verification.index()];
        } else if (const auto* damaged = std::get_if<actions::trackDamaged>(&action)) {
          outcome.damage[damaged->track] = damaged->stretches;
        } else if (const auto* failed = std::get_if<actions::ripFailed>(&action)) {
          outcome.end = "ripFailed " + failed->message;
        } else if (std::holds_alternative<actions::ripComplete>(action)) {
          outcome.end = "ripComplete";
        } else if (std::holds_alternative<actions::ripStopped>(action)) {
          outcome.end = "ripStopped";
        }
      });
    };
    const disc::CDDrive model = drive.cdDrive();
    stopSource = std::stop_source();
    auto task = runner.spawn([&](std::stop_token runnerStop) {
      std::stop_callback forward(runnerStop, [this] { stopSource.request_stop(); });
      ripCD(model, tracks, std::nullopt, *album, dispatch, stopSource.get_token());
    });
    EXPECT_TRUE(mainQueue.runUntil([&] { return task.hasEnded(); }, std::chrono::minutes(2)));
    task.value();
    mainQueue.runPending();
    for (const auto& [track, text] : verdicts) {
      outcome.verdicts += (outcome.verdicts.empty() ? "" : " ") + text;
    }
    std::erase_if(outcome.damage, [](const auto& entry) { return entry.second.empty(); });
    outcome.mostEncodesAtOnce = writer->mostOpenAtOnce();
    return outcome;
  }

  testing::TemporaryFolder folder;
  testing::TemporaryFolder library;
  testing::WrittenDiscImage image = testing::writeDiscImage(
      folder.path(), "disc", std::vector<testing::ImageTrackPlan>(kTracks, {kTrackSectors}));
  testing::TestHttpServer server;
  std::unique_ptr<AlbumFolder> album;
  std::stop_source stopSource;
};

std::ptrdiff_t countOf(const std::string& text, const std::string& part) {
  std::ptrdiff_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Scripts the stretch of `count` sectors from `first`.
std::function<void(ModelDrive&)> scripted(std::int32_t first, std::int32_t count,
                                          testing::SectorScript script) {
  return [=](ModelDrive& drive) { drive.script(first, count, script); };
}

std::function<void(ModelDrive&)> scattered(testing::SectorScript script) {
  return [=](ModelDrive& drive) {
    for (const auto sector : kScattered) {
      drive.script(sector, 1, script);
    }
  };
}

TEST_F(SecureReadingTest, EachDiscScriptEndsAsItsReadsAllow) {
  using C2 = ModelDrive::C2;
  constexpr auto kEvery = testing::SectorScript::kEvery;
  const disc::SectorStretch neverRead{1000, 30};
  const auto removeMedium = [](ModelDrive& drive) { drive.removeMediumAt(kTrack2 + 100); };
  // Verdicts "" stand for a failed import. Reads of the scattered sectors: how many each had,
  // every other sector of track 2 having one (the reads that empty the cache go elsewhere).
  const struct {
    const char* disc;
    ModelDrive::Options drive;
    bool known;
    std::function<void(ModelDrive&)> script;
    std::string verdicts;
    state::TrackDamage damage;
    int scatteredReads = 0;    // 0: not counted
    int everySectorReads = 0;  // of the whole disc; 0: not counted
  } discs[] = {
      // clang-format off
      {"five scattered sectors that fail twice, then read", {}, true,
       scattered({.failingReads = 2}), "A A A", {}, 4},
      {"a stretch of track 2 that never reads", {}, true,
       scripted(kTrack2 + neverRead.first, neverRead.count, {.failingReads = kEvery}), "A N A",
       {{2, {neverRead}}}},
      {"wrong audio that changes on every read, no C2", {}, true,
       scripted(kTrack2 + 2000, 10, {.wrongReads = 2}), "A NA A", {}},
      {"the same behind a cache of 1200 sectors", {.cacheSectors = 1200}, true,
       scripted(kTrack2 + kTrackSectors - 40, 10, {.wrongReads = 2}), "A NA A", {}},
      {"honest C2 flags", {.c2 = C2::honest}, true, scattered({.wrongReads = 1}), "A A A", {}, 3},
      {"lying C2 flags", {.c2 = C2::lying}, true, scripted(kTrack2 + 500, 5, {.wrongReads = 2}),
       "A NA A", {}},
      {"a clean disc the database knows", {}, true, nullptr, "A A A", {}, 0, 1},
      {"a clean disc it does not know", {}, false, nullptr, "U U U", {}, 0, 2},
      {"the medium removed mid-read", {}, true, removeMedium, "", {}},
      // clang-format on
  };
  for (const auto& c : discs) {
    SCOPED_TRACE(c.disc);
    fs::remove_all(library.path() / "Unknown Artist");
    album = std::make_unique<AlbumFolder>(library.path() / "Unknown Artist" / "Unknown Album");
    ModelDrive drive(image.cuePath, c.drive);
    answerFor(drive, c.known);
    if (c.script) {
      c.script(drive);
    }

    const auto outcome = import(drive);
    EXPECT_EQ(outcome.damage, c.damage);
    for (std::int32_t sector = kTrack2; c.scatteredReads > 0 && sector < 2 * kTrackSectors;
         ++sector) {
      const bool scattered = std::ranges::count(kScattered, sector) > 0;
      EXPECT_EQ(drive.reads(sector), scattered ? c.scatteredReads : 1) << sector;
    }
    for (std::int32_t sector = 0; c.everySectorReads > 0 && sector < kTracks * kTrackSectors;
         ++sector) {
      ASSERT_EQ(drive.reads(sector), c.everySectorReads) << sector;
    }
    if (c.verdicts.empty()) {
      EXPECT_EQ(outcome.end, "ripFailed readFailed(" + std::to_string(ENOMEDIUM) + ")");
      EXPECT_TRUE(testing::filesUnder(library.path()).empty());
      continue;
    }
    EXPECT_EQ(outcome.end, "ripComplete");
    EXPECT_EQ(outcome.verdicts, c.verdicts);
    // The audio encoded last is the clean disc's, but for zeros where nothing was ever read.
    for (int number = 1; number <= kTracks; ++number) {
      auto audio = cleanAudio(number);
      for (const auto& stretch :
           c.damage.contains(number) ? c.damage.at(number) : std::vector<disc::SectorStretch>{}) {
        std::fill_n(audio.begin() + std::int64_t{stretch.first} * 2352, stretch.count * 2352, 0);
      }
      EXPECT_EQ(outcome.encoded.at(number).second, ::crc32_z(0, audio.data(), audio.size()))
          << number;
    }
    // The log tells of the damage, and of two reads of each track that no database confirms,
    // equal where no sector was in doubt.
    const auto log = testing::fileContents(album->ripLog());
    EXPECT_EQ(countOf(log, "Damaged: 0:13.25\u20130:13.54\n"), c.damage.contains(2) ? 1 : 0);
    EXPECT_EQ(countOf(log, "Sectors read again: 30\n"), c.damage.contains(2) ? 1 : 0);
    std::istringstream tracks(c.verdicts);
    std::ptrdiff_t readTwice = 0;
    std::ptrdiff_t agreed = 0;
    for (std::string verdicts; tracks >> verdicts;) {
      readTwice += verdicts != "A" ? 1 : 0;
      agreed += verdicts == "N" || verdicts == "U" ? 1 : 0;
    }
    EXPECT_EQ(countOf(log, "Passes: 2"), readTwice) << log;
    EXPECT_EQ(countOf(log, ", equal)"), agreed) << log;
  }
}

// The drive reads on while earlier files are written: track 1's encode waits until the drive
// reads track 3, by when track 2's encode has begun too, and the drive never has two requests
// at once. The files are byte for byte those of an import that reads a track only once the
// file before it is in place.
TEST_F(SecureReadingTest, FilesAreWrittenBesideTheReadsAndComeOutAsOneAtATime) {
  std::map<fs::path, std::string> files[2];
  for (const bool overlapped : {true, false}) {
    album = std::make_unique<AlbumFolder>(library.path() / (overlapped ? "overlapped" : "one"));
    ModelDrive drive(image.cuePath, {.sectorsPerSecond = overlapped ? 24 * 75.0 : 0.0});
    answerFor(drive, true);
    const auto outcome = import(
        drive, {.bounds = {.encoders = overlapped ? 2u : 1u, .audioBytes = overlapped ? kGiB : 0},
                .encodeBegins = [&](int track) {
                  if (overlapped && track == 1) {
                    EXPECT_TRUE(within10s([&] { return drive.reads(kTrack3) > 0; }));
                  }
                }});
    EXPECT_EQ(outcome.end, "ripComplete");
    EXPECT_EQ(outcome.mostEncodesAtOnce, overlapped ? 2u : 1u);
    EXPECT_EQ(drive.mostRequestsAtOnce(), 1);
    for (int number = 1; number <= kTracks; ++number) {
      const auto file = album->trackFile(number, std::nullopt);
      files[overlapped][file.filename()] = testing::fileContents(file);
    }
  }
  EXPECT_EQ(files[0], files[1]);
}

// A stop while two files are written, wherever the reads are then, ends both encodes and leaves
// nothing of a track whose file was not in place.
TEST_F(SecureReadingTest, AStopWhileTwoFilesAreWrittenLeavesOnlyTheFinishedOnes) {
  // Until the stop, the encodes of the tracks in `held` wait; `stopWhen` says when it comes,
  // asked on the encoding threads.
  const struct {
    const char* during;
    bool known;
    std::set<int> held;
    std::function<bool(ModelDrive&)> stopWhen;
    std::set<std::string> left;
  } cases[] = {
      // clang-format off
      {"the read of track 3", true, {1, 2},
       [](ModelDrive& drive) { return drive.reads(kTrack3 + 100) > 0; }, {}},
      {"the wait for an encoder", true, {1, 2},
       [](ModelDrive& drive) { return drive.reads(kTrack3 + kTrackSectors - 1) > 0; }, {}},
      {"the second read of track 2", false, {1, 2},
       [](ModelDrive& drive) { return drive.reads(kTrack2 + 100) > 1; }, {}},
      {"the wait for the last files", true, {2, 3}, [](ModelDrive&) { return true; },
       {"Track 01.m4a"}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.during);
    fs::remove_all(library.path());
    album = std::make_unique<AlbumFolder>(library.path() / "Unknown Artist" / "Unknown Album");
    ModelDrive drive(image.cuePath, {.sectorsPerSecond = 100 * 75});
    answerFor(drive, c.known);
    std::atomic<int> waiting = 0;
    const auto outcome =
        import(drive, {.bounds = {.encoders = 2}, .encodeBegins = [&](int track) {
                         if (!c.held.contains(track)) {
                           return;
                         }
                         if (++waiting == 2) {
                           EXPECT_TRUE(within10s([&] { return c.stopWhen(drive); }));
                           stopSource.request_stop();
                         }
                         EXPECT_TRUE(within10s([&] { return stopSource.stop_requested(); }));
                       }});
    EXPECT_EQ(outcome.end, "ripStopped");
    EXPECT_EQ(testing::filesUnder(album->path()), c.left);
  }
}

// The CUETools database, asked beside AccurateRip (which does not know the disc here): an entry
// whose CRCs are the disc's read 667 samples later confirms every track, whatever other entries
// it holds; a malformed answer confirms nothing and fails nothing.
TEST_F(SecureReadingTest, TracksTheCUEToolsDatabaseHoldsAtSomeOffsetAreAccurate) {
  const auto audio = image.discAudio(0, kTracks * kTrackSectors);
  const std::int64_t samples = static_cast<std::int64_t>(audio.size()) / 4;
  const std::int64_t end = samples - (5880 + samples % 5880);
  const auto crcAt = [&](std::int64_t from, std::int64_t to) {
    constexpr std::int64_t kOffset = 667;
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  ::crc32_z(0, audio.data() + (from + kOffset) * 4, (to - from) * 4));
    return std::string(text);
  };
  const std::int64_t track = kTrackSectors * 588;
  const std::string entry =
      R"(<entry confidence="7" crc32=")" + crcAt(5880, end) +
      R"(" id="41" npar="8" stride="5880" toc="0:2500:5000:7500" trackcrcs=")" +
      crcAt(5880, track) + " " + crcAt(track, 2 * track) + " " + crcAt(2 * track, end) + R"("/>)";
  const std::string other =
      R"(<entry confidence="30" crc32="00000001" id="40" npar="8" stride="5880" toc="0:2500:5000:7500" trackcrcs="00000002 00000003 00000004"/>)";
  // An unknown disc (404) is told as such; an answer that does not come by the end of the
  // reads is not waited for.
  const struct {
    std::string answer;  // empty: none comes
    int status;
    std::string verdicts, logged;
  } answers[] = {
      {"<ctdb>" + other + entry + "</ctdb>", 200, "UA UA UA", "entry 41 (confidence 7)"},
      {"<ctdb>" + entry, 200, "U U U", "could not be read"},
      {"", 404, "U U U", "CUETools database: disc not in the database"},
      {"", 200, "U U U", "CUETools database: database not reached"},
  };
  for (const auto& [answer, status, verdicts, logged] : answers) {
    fs::remove_all(library.path());
    album = std::make_unique<AlbumFolder>(library.path() / "Unknown Artist" / "Unknown Album");
    ModelDrive drive(image.cuePath, {});
    answerFor(drive, false);
    const bool stalled = answer.empty() && status == 200;
    if (stalled) {
      server.stall("GET", "/lookup2.php");
    } else {
      server.respond("GET", "/lookup2.php", status, answer, "text/xml");
    }
    const auto outcome = import(drive, {.ctdbPatience = stalled ? std::chrono::milliseconds(100)
                                                                : std::chrono::seconds(10)});
    EXPECT_EQ(outcome.end, "ripComplete");
    EXPECT_EQ(countOf(testing::fileContents(album->ripLog()), logged), 1) << logged;
    EXPECT_EQ(outcome.verdicts, verdicts);
    EXPECT_EQ(countOf(testing::fileContents(album->ripLog()),
                      "Result: accurate (CUETools database, confidence 7)"),
              verdicts == "U U U" ? 0 : 3);
  }
  const auto asked = server.requests();
  const auto lookup = std::ranges::find(asked, "/lookup2.php", &testing::RecordedRequest::path);
  ASSERT_NE(lookup, asked.end());
  EXPECT_EQ(lookup->params.find("toc")->second, "0:2500:5000:7500");
}

// A disc that the CUETools database does not hold as read: 30 sectors of track 2 read wrong the
// same way every time, so that neither read notices. The entry of the pressing (read 667
// samples later) has syndromes, computed here from the clean audio; column 0 is damaged, so
// the offset comes from the intact tracks. The burst is repaired from 8 syndromes a column to
// the exact clean audio and only track 2 is encoded again; damage beyond 16 syndromes' reach,
// or a file of syndromes that does not give the entry's CRC, changes nothing; a stop while the
// syndromes are fetched ends the import. No kept audio is left behind on any path.
TEST_F(SecureReadingTest, ADiscNoEntryHoldsIsRepairedFromTheSyndromesWhenTheyReach) {
  constexpr std::int64_t kOffset = 667;
  const auto audio = image.discAudio(0, kTracks * kTrackSectors);
  const std::int64_t samples = static_cast<std::int64_t>(audio.size()) / 4;
  const std::int64_t end = samples - (5880 + samples % 5880);
  const auto crcAt = [&](std::int64_t from, std::int64_t to) {
    char text[9];
    std::snprintf(text, sizeof text, "%08lx",
                  ::crc32_z(0, audio.data() + (from + kOffset) * 4, (to - from) * 4));
    return std::string(text);
  };
  // The syndromes of the pressing, whose audio lies kOffset samples on; some with a few
  // samples of track 2 changed, which the rip does not have.
  const auto fileOf = [&](bool wrong) {
    std::vector<std::uint8_t> pressing(audio.size(), 0);
    std::copy(audio.begin() + kOffset * 4, audio.end(), pressing.begin());
    for (std::size_t byte = 0; wrong && byte < 40; byte += 4) {
      pressing[(kTrack2 * 588 + 77777) * 4 + byte * 1000] ^= 0x5A;
    }
    ctdb::RipSyndromes syndromes(samples);
    syndromes.add(0, pressing);
    std::string file;
    for (std::size_t i = 0; i < 16; ++i) {
      for (std::size_t column = 0; column < ctdb::RipSyndromes::kColumns; ++column) {
        file += static_cast<char>(syndromes.syndrome(i, column) & 0xFF);
        file += static_cast<char>(syndromes.syndrome(i, column) >> 8);
      }
    }
    return file;
  };
  const auto clean = fileOf(false);
  std::string column0(44, '\0');
  std::string words;
  for (std::size_t i = 0; i < 16; ++i) {
    words += clean.substr(i * ctdb::RipSyndromes::kColumns * 2, 2);
  }
  column0.resize(static_cast<std::size_t>(::EVP_EncodeBlock(
      reinterpret_cast<unsigned char*>(column0.data()),
      reinterpret_cast<const unsigned char*>(words.data()), static_cast<int>(words.size()))));
  const std::int64_t track = kTrackSectors * 588;
  server.respond("GET", "/lookup2.php", 200,
                 R"(<ctdb><entry confidence="7" crc32=")" + crcAt(5880, end) +
                     R"(" hasparity="/parity/41" id="41" npar="16" stride="5880" syndrome=")" +
                     column0 + R"(" toc="0:2500:5000:7500" trackcrcs=")" + crcAt(5880, track) +
                     " " + crcAt(track, 2 * track) + " " + crcAt(2 * track, end) + R"("/></ctdb>)",
                 "text/xml");
  const std::uint32_t cleanTrack2 =
      static_cast<std::uint32_t>(::crc32_z(0, cleanAudio(2).data(), cleanAudio(2).size()));
  const testing::SectorScript wrongAlways{.wrongReads = testing::SectorScript::kEvery,
                                          .sameWrongAudio = true};
  const struct {
    std::int32_t burst;
    bool wrongFile;
    bool stall;
    std::string end, verdicts, result;
  } discs[] = {
      {30, false, false, "ripComplete", "UA UA UA",
       "Result: repaired (CUETools database, 6000 samples corrected, confidence 7)"},
      {110, false, false, "ripComplete", "UA U UA",
       "beyond what the entries' syndromes can repair"},
      {30, true, false, "ripComplete", "UA U UA", "beyond what the entries' syndromes can repair"},
      {30, false, true, "ripStopped", "UA U UA", ""},
  };
  for (const auto& disc : discs) {
    SCOPED_TRACE(std::to_string(disc.burst) + (disc.wrongFile ? " wrong file" : "") +
                 (disc.stall ? " stall" : ""));
    fs::remove_all(library.path());
    album = std::make_unique<AlbumFolder>(library.path() / "Unknown Artist" / "Unknown Album");
    ModelDrive drive(image.cuePath, {});
    drive.script(kTrack2 + 1000, disc.burst, wrongAlways);
    answerFor(drive, false);
    if (disc.stall) {
      server.stall("GET", "/parity/41");
    } else {
      server.respond("GET", "/parity/41", 200, disc.wrongFile ? fileOf(true) : clean,
                     "application/octet-stream");
    }
    std::jthread stopper([&](const std::stop_token& stopperStop) {
      if (disc.stall && server.waitForStalls(1) && !stopperStop.stop_requested()) {
        mainQueue.post([this] { stopSource.request_stop(); });
      }
    });
    const auto outcome = import(drive);
    EXPECT_EQ(outcome.end, disc.end);
    EXPECT_EQ(outcome.verdicts, disc.verdicts);
    const bool repaired = disc.verdicts == "UA UA UA";
    EXPECT_EQ(outcome.encodes, (std::map<int, int>{{1, 1}, {2, repaired ? 2 : 1}, {3, 1}}));
    EXPECT_EQ(outcome.encoded.at(2).second == cleanTrack2, repaired);
    std::set<std::string> files{"Track 01.m4a", "Track 02.m4a", "Track 03.m4a", "rip.log"};
    if (disc.stall) {
      files.erase("rip.log");
    }
    EXPECT_EQ(testing::filesUnder(album->path()), files);
    if (!disc.result.empty()) {
      EXPECT_EQ(countOf(testing::fileContents(album->ripLog()), disc.result), 1);
    }
  }
}

}  // namespace
}  // namespace noru::rip
