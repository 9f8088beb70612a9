// Whole imports from the drive model: sectors that fail for a while or for ever, wrong audio
// with C2 flags that tell the truth or lie, a drive cache that answers re-reads, clean discs the
// AccurateRip database knows and does not know, and a medium that goes away mid-read.
#include <zlib.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/drive_offsets.h"
#include "accuraterip/track_checksums.h"
#include "disc/parse_full_toc.h"
#include "rip/ffmpeg_aac_file_writer.h"
#include "rip/rip_cd.h"
#include "support/accuraterip_files.h"
#include "support/disc_image_writer.h"
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
using testing::SectorScript;

// Long enough that a track read again pushes its own end out of a drive's cache as it goes.
constexpr std::int32_t kTrackSectors = 2500;
constexpr int kTracks = 3;
constexpr std::int32_t kTrack2 = kTrackSectors;  // the first sector of track 2
constexpr std::int32_t kFrameBytes = 4;

std::uint32_t crcOf(const std::vector<std::uint8_t>& bytes) {
  return static_cast<std::uint32_t>(::crc32_z(0, bytes.data(), bytes.size()));
}

// Hands the encoder the first second of each track, enough for a real file to tag, and keeps
// the CRC-32 of all the audio it was given, by track, the last encode of a track counting.
class AudioRecordingWriter final : public AACFileWriter {
 public:
  Created create(const fs::path& file) const override {
    auto created = real_.create(file);
    if (created.file) {
      const auto name = file.filename().string();  // ".Track 02.m4a.<suffix>"
      const int track = std::stoi(name.substr(name.find_first_of("0123456789"), 2));
      created.file = std::make_unique<File>(std::move(created.file), track, *this);
    }
    return created;
  }
  std::map<int, std::uint32_t> audio() const {
    std::lock_guard lock(mutex_);
    return audio_;
  }

 private:
  struct File final : OpenFile {
    File(std::unique_ptr<OpenFile> real, int track, const AudioRecordingWriter& writer)
        : real(std::move(real)), track(track), writer(writer) {}
    int setClientFormat() override { return real->setClientFormat(); }
    int setBitRate(std::int64_t rate) override { return real->setBitRate(rate); }
    int write(std::span<const std::uint8_t> pcm) override {
      crc = static_cast<std::uint32_t>(::crc32_z(crc, pcm.data(), pcm.size()));
      const auto room = std::min<std::size_t>(pcm.size(), 44100 * kFrameBytes - given);
      given += room;
      return room > 0 ? real->write(pcm.first(room)) : 0;
    }
    int finish() override {
      std::lock_guard lock(writer.mutex_);
      writer.audio_[track] = crc;
      return real->finish();
    }
    GaplessTiming timing() const override { return real->timing(); }

    std::unique_ptr<OpenFile> real;
    int track;
    const AudioRecordingWriter& writer;
    std::uint32_t crc = 0;
    std::size_t given = 0;
  };

  FFmpegAACFileWriter real_;
  mutable std::mutex mutex_;
  mutable std::map<int, std::uint32_t> audio_;
};

// What one import came to, as its actions told it.
struct Outcome {
  std::string end;                               // "ripComplete", "ripFailed <message>", ...
  std::map<std::int64_t, std::string> verdicts;  // each track's verdicts in order: "NA"
  state::TrackDamage damage;                     // the last word on each track
};

class SecureReadingTest : public testing::RuntimeFixture {
 protected:
  SecureReadingTest() {
    image = testing::writeDiscImage(folder.path(), "disc",
                                    std::vector<testing::ImageTrackPlan>(kTracks, {kTrackSectors}));
    server.respond("GET", "/accuraterip/DriveOffsets.bin", 200,
                   testing::driveOffsetRecord("NORU - MODEL DRIVE", 0), "application/octet-stream");
  }

  // The audio of track `number` (from 1) on the clean disc.
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

  Outcome import(ModelDrive& drive) {
    RipCD ripCD(std::shared_ptr<ModelDrive>(&drive, [](ModelDrive*) {}),
                {.accurateRip = server.url()});
    ripCD.ripTrack.encodeToAAC.writer = writer;
    std::vector<disc::CDTrackInfo> tracks;
    for (int number = 1; number <= kTracks; ++number) {
      tracks.push_back({number, (number - 1) * kTrackSectors, kTrackSectors});
    }
    const disc::CDDrive model{.id = "model",
                              .name = "Model",
                              .bsdPath = drive.bsdName(),
                              .hasDisc = true,
                              .vendor = "NORU",
                              .model = "MODEL DRIVE"};
    Outcome outcome;
    auto dispatch = [&](state::AnyAction any) {
      mainQueue.post([&, any = std::move(any)] {
        std::visit(
            [&]<class Action>(const Action& action) {
              if constexpr (std::is_same_v<Action, actions::trackVerified>) {
                outcome.verdicts[action.track] += "ANU"[action.verification.index()];
              } else if constexpr (std::is_same_v<Action, actions::trackDamaged>) {
                outcome.damage[action.track] = action.stretches;
              } else if constexpr (std::is_same_v<Action, actions::ripFailed>) {
                outcome.end = "ripFailed " + action.message;
              } else if constexpr (std::is_same_v<Action, actions::ripComplete> ||
                                   std::is_same_v<Action, actions::ripStopped>) {
                outcome.end =
                    std::is_same_v<Action, actions::ripComplete> ? "ripComplete" : "ripStopped";
              }
            },
            std::get<state::CDRipAction>(any));
      });
    };
    auto task = runner.spawn(
        [&](std::stop_token stop) { ripCD(model, tracks, std::nullopt, *album, dispatch, stop); });
    EXPECT_TRUE(mainQueue.runUntil([&] { return task.hasEnded(); }, std::chrono::minutes(2)));
    task.value();
    mainQueue.runPending();
    std::erase_if(outcome.damage, [](const auto& entry) { return entry.second.empty(); });
    return outcome;
  }

  testing::TemporaryFolder folder;
  testing::TemporaryFolder library;
  std::unique_ptr<AlbumFolder> album;
  testing::WrittenDiscImage image;
  testing::TestHttpServer server;
  std::shared_ptr<AudioRecordingWriter> writer = std::make_shared<AudioRecordingWriter>();
};

// Every sector of track 2 read more than once.
std::vector<std::int32_t> track2Reread(const ModelDrive& drive) {
  auto sectors = drive.sectorsReadMoreThanOnce();
  std::erase_if(sectors,
                [](std::int32_t s) { return s < kTrack2 || s >= kTrack2 + kTrackSectors; });
  return sectors;
}

const std::vector<std::int32_t> kScattered = {kTrack2 + 300, kTrack2 + 600, kTrack2 + 900,
                                              kTrack2 + 1200, kTrack2 + 1500};

TEST_F(SecureReadingTest, EachDiscScriptEndsAsItsReadsAllow) {
  using C2 = ModelDrive::C2;
  const disc::SectorStretch neverRead{1000, 30};
  const struct {
    const char* disc;
    ModelDrive::Options drive;
    bool known;
    std::function<void(ModelDrive&)> script;
    std::string end;
    std::map<std::int64_t, std::string> verdicts;
    state::TrackDamage damage;
    std::function<void(const ModelDrive&)> reads;
  } discs[] = {
      {"five scattered sectors that fail twice, then read",
       {},
       true,
       [](ModelDrive& d) {
         for (const auto s : kScattered)
           d.script(s, {.failingReads = 2});
       },
       "ripComplete",
       {{1, "A"}, {2, "A"}, {3, "A"}},
       {},
       [](const ModelDrive& d) {
         EXPECT_EQ(track2Reread(d), kScattered) << "only they were read again";
         for (const auto s : kScattered)
           EXPECT_EQ(d.reads(s), 4) << s;
       }},
      {"a stretch of track 2 that never reads",
       {},
       true,
       [&](ModelDrive& d) {
         d.script(kTrack2 + neverRead.first, neverRead.count,
                  {.failingReads = SectorScript::kEvery});
       },
       "ripComplete",
       {{1, "A"}, {2, "N"}, {3, "A"}},
       {{2, {neverRead}}},
       nullptr},
      {"wrong audio that changes on every read, no C2",
       {},
       true,
       [](ModelDrive& d) { d.script(kTrack2 + 2000, 10, {.wrongReads = 2}); },
       "ripComplete",
       {{1, "A"}, {2, "NA"}, {3, "A"}},
       {},
       nullptr},
      {"the same behind a cache of 1200 sectors",
       {.cacheSectors = 1200},
       true,
       [](ModelDrive& d) { d.script(kTrack2 + kTrackSectors - 40, 10, {.wrongReads = 2}); },
       "ripComplete",
       {{1, "A"}, {2, "NA"}, {3, "A"}},
       {},
       nullptr},
      {"honest C2 flags",
       {.c2 = C2::honest},
       true,
       [](ModelDrive& d) {
         for (const auto s : kScattered)
           d.script(s, {.wrongReads = 1});
       },
       "ripComplete",
       {{1, "A"}, {2, "A"}, {3, "A"}},
       {},
       [](const ModelDrive& d) { EXPECT_EQ(track2Reread(d), kScattered); }},
      {"lying C2 flags",
       {.c2 = C2::lying},
       true,
       [](ModelDrive& d) { d.script(kTrack2 + 500, 5, {.wrongReads = 2}); },
       "ripComplete",
       {{1, "A"}, {2, "NA"}, {3, "A"}},
       {},
       nullptr},
      {"a clean disc the database knows",
       {},
       true,
       nullptr,
       "ripComplete",
       {{1, "A"}, {2, "A"}, {3, "A"}},
       {},
       [](const ModelDrive& d) {
         EXPECT_EQ(d.totalReads(), kTracks * kTrackSectors);
         EXPECT_TRUE(d.sectorsReadMoreThanOnce().empty());
       }},
      {"a clean disc it does not know",
       {},
       false,
       nullptr,
       "ripComplete",
       {{1, "U"}, {2, "U"}, {3, "U"}},
       {},
       [](const ModelDrive& d) {
         for (std::int32_t s = 0; s < kTracks * kTrackSectors; ++s) {
           ASSERT_EQ(d.reads(s), 2) << s;
         }
       }},
      {"the medium removed mid-read",
       {},
       true,
       [](ModelDrive& d) { d.removeMediumAt(kTrack2 + 100); },
       "ripFailed readFailed(" + std::to_string(ENOMEDIUM) + ")",
       {},
       {},
       nullptr},
  };
  for (const auto& c : discs) {
    SCOPED_TRACE(c.disc);
    fs::remove_all(library.path() / "Unknown Artist");
    album = std::make_unique<AlbumFolder>(library.path() / "Unknown Artist" / "Unknown Album");
    writer = std::make_shared<AudioRecordingWriter>();
    ModelDrive drive(image.cuePath, c.drive);
    answerFor(drive, c.known);
    if (c.script) {
      c.script(drive);
    }

    const auto outcome = import(drive);
    EXPECT_EQ(outcome.end, c.end);
    EXPECT_EQ(outcome.damage, c.damage);
    if (c.reads) {
      c.reads(drive);
    }
    if (c.end != "ripComplete") {
      EXPECT_TRUE(testing::filesUnder(library.path()).empty());
      continue;
    }
    EXPECT_EQ(outcome.verdicts, c.verdicts);
    const auto encoded = writer->audio();
    const auto log = testing::fileContents(album->ripLog());
    for (int number = 1; number <= kTracks; ++number) {
      auto audio = cleanAudio(number);
      for (const auto& stretch :
           c.damage.count(number) ? c.damage.at(number) : std::vector<disc::SectorStretch>{}) {
        std::fill_n(audio.begin() + std::int64_t{stretch.first} * 2352, stretch.count * 2352, 0);
      }
      EXPECT_EQ(encoded.at(number), crcOf(audio)) << "track " << number;
    }
    EXPECT_EQ(log.find("Damaged: 0:13.25\u20130:13.54\n") != std::string::npos,
              c.damage.count(2) > 0)
        << log;
    EXPECT_EQ(log.find("Passes: 2") != std::string::npos, c.verdicts.at(2).front() != 'A') << log;
  }
}

}  // namespace
}  // namespace noru::rip
