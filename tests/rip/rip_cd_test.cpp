// Whole-disc imports from a generated CUE/BIN image, with the cover and the artist's picture
// served by a local HTTP server: what is dispatched, what is written, and what a stop leaves.
#include "rip/rip_cd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "platform/image/image_drive_registry.h"
#include "rip/cleanup_ripped_files.h"
#include "rip/hooked_aac_writer.h"
#include "support/disc_image_writer.h"
#include "support/media_files.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
namespace actions = state::CDRipActions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kCover = "\xFF\xD8\xFF\xE0 cover \xFF\xD9";
const std::string kPortrait = "\xFF\xD8\xFF\xE0 portrait \xFF\xD9";

// Passes reads on to the image drive, letting a test fail or interrupt one of them.
class InterceptingDevice final : public platform::linux_cd::AudioDevice {
 public:
  explicit InterceptingDevice(std::shared_ptr<platform::linux_cd::AudioDevice> inner)
      : inner_(std::move(inner)) {}

  // Called before each read with its first sector; a non-zero result fails it with that errno.
  std::function<int(std::int32_t firstSector)> beforeRead;

  int open(const std::string& bsdName) override { return inner_->open(bsdName); }
  int readAudio(int descriptor, std::int32_t firstSector, int sectors,
                std::uint8_t* buffer) override {
    if (beforeRead) {
      if (int error = beforeRead(firstSector)) {
        errno = error;
        return -1;
      }
    }
    return inner_->readAudio(descriptor, firstSector, sectors, buffer);
  }
  int close(int descriptor) override { return inner_->close(descriptor); }

 private:
  std::shared_ptr<platform::linux_cd::AudioDevice> inner_;
};

std::string describe(const state::AnyAction& any) {
  const auto& action = std::get<state::CDRipAction>(any);
  return std::visit(
      [](const auto& a) -> std::string {
        using A = std::decay_t<decltype(a)>;
        if constexpr (std::is_same_v<A, actions::trackRipStarted>) {
          return "started " + std::to_string(a.track);
        } else if constexpr (std::is_same_v<A, actions::trackRipProgress>) {
          return "progress " + std::to_string(a.track) + " " + std::to_string(a.progress);
        } else if constexpr (std::is_same_v<A, actions::trackRipComplete>) {
          return "complete " + std::to_string(a.track) + " " + a.fileURL.filename().string();
        } else if constexpr (std::is_same_v<A, actions::ripFailed>) {
          return "ripFailed " + a.message;
        } else if constexpr (std::is_same_v<A, actions::ripComplete>) {
          return "ripComplete";
        } else if constexpr (std::is_same_v<A, actions::ripStopped>) {
          return "ripStopped";
        } else {
          return "unexpected";
        }
      },
      action);
}

std::set<std::string> filesUnder(const fs::path& root) {
  std::set<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    found.insert(fs::relative(entry.path(), root).string());
  }
  return found;
}

// Where a test stops an import.
enum class Stage { coverDownload, afterTrack, read, encode, tagging, readFailingAfterStop };

struct StopPoint {
  Stage stage;
  std::int64_t track = 0;  // the track concerned, for every stage but the cover download
};

// "01" for track 1: how the names of a track's files begin.
std::string twoDigits(std::int64_t track) {
  return (track < 10 ? "0" : "") + std::to_string(track);
}

class RipCDTest : public testing::RuntimeFixture {
 protected:
  RipCDTest() {
    resetRip();
    server.respond("GET", "/release/caa-release/77-1200.jpg", 200, kCover, "image/jpeg");
    server.respond("GET", "/v1/artists/artist-1", 200,
                   R"({"thumb_url":")" + server.url("/portrait.jpg") + R"("})");
    server.respond("GET", "/portrait.jpg", 200, kPortrait, "image/jpeg");
  }

  // A disc image of tracks of the given lengths, inserted as a drive.
  disc::CDDrive insertDisc(const std::vector<std::int32_t>& sectors) {
    std::vector<testing::ImageTrackPlan> plan;
    for (auto count : sectors) {
      plan.push_back({.sectors = count});
    }
    const auto image = testing::writeDiscImage(discFolder.path(), "disc", plan);
    const auto added = images->addImage(image.cuePath);
    tracks.clear();
    for (const auto& t : image.tracks) {
      tracks.push_back({t.number, t.startSector, t.sectors});
    }
    return disc::CDDrive{*added.registryPath, "Image Drive", *added.bsdName, true};
  }

  static disc::CDLookupRelease release() {
    return disc::CDLookupRelease{
        .id = "release-1",
        .title = "Live: 1992?",
        .artistCredit = "AC/DC",
        .artistMbid = "artist-1",
        .tracks = {{1, "Intro", "AC/DC", 1000, std::nullopt},
                   {2, "Thunder/Struck", "AC/DC", 2000, std::nullopt},
                   {3, "Outro", "AC/DC", 3000, std::nullopt}},
        .caaId = 77,
        .caaReleaseMbid = "caa-release",
    };
  }

  // A rip of the test's drive and server, with no stop armed.
  void resetRip() {
    ripCD = RipCD{device};
    ripCD.fetchCoverArt.baseURL = server.url();
    ripCD.fetchArtistImage.baseURL = server.url();
    onDispatch = nullptr;
    device->beforeRead = nullptr;
  }

  // Arms the next rip to stop at `point`.
  void stopAt(StopPoint point);

  // Runs the rip as the application does, on a task of its own, and pumps the main queue until
  // it has ended. Actions are recorded on the main thread in the order they were dispatched.
  std::vector<std::string> rip(const disc::CDDrive& drive,
                               const std::optional<disc::CDLookupRelease>& chosen) {
    dispatched.clear();
    completedFiles.clear();
    stopSource = std::stop_source();
    bool ended = false;
    auto dispatch = [this, &ended](state::AnyAction action) {
      if (onDispatch) {
        onDispatch(action);
      }
      mainQueue.post([this, &ended, action = std::move(action)] {
        const auto text = describe(action);
        ended = ended || text.starts_with("rip");
        dispatched.push_back(text);
        if (const auto* complete =
                std::get_if<actions::trackRipComplete>(&std::get<state::CDRipAction>(action))) {
          completedFiles.push_back(complete->fileURL);
        }
      });
    };
    auto task = runner.spawn([&](std::stop_token runnerStop) {
      std::stop_callback forward(runnerStop, [this] { stopSource.request_stop(); });
      ripCD(drive, tracks, chosen, albumFolder, dispatch, stopSource.get_token());
    });
    EXPECT_TRUE(mainQueue.runUntil([&] { return ended; }));
    task.value();
    mainQueue.runPending();
    return dispatched;
  }

  testing::TemporaryFolder discFolder;
  testing::TemporaryFolder library;
  fs::path albumFolder = library.path() / "ACDC" / "Live 1992";
  testing::TestHttpServer server;
  std::shared_ptr<platform::image::ImageDriveRegistry> images =
      std::make_shared<platform::image::ImageDriveRegistry>();
  std::shared_ptr<InterceptingDevice> device = std::make_shared<InterceptingDevice>(images);
  RipCD ripCD{device};
  std::vector<disc::CDTrackInfo> tracks;
  std::stop_source stopSource;
  // Runs on the thread that dispatches, before the action is queued.
  std::function<void(const state::AnyAction&)> onDispatch;
  std::vector<std::string> dispatched;
  // The files reported complete, as the state keeps them for a clean-up.
  std::vector<fs::path> completedFiles;
};

TEST_F(RipCDTest, ImportsEveryTrackWithTagsCoverAndArtistPicture) {
  const auto drive = insertDisc({150, 75, 76});

  EXPECT_THAT(rip(drive, release()),
              ElementsAre("started 1", "progress 1 0.500000", "progress 1 1.000000",
                          "complete 1 01 Intro.m4a", "started 2", "progress 2 1.000000",
                          "complete 2 02 Thunder_Struck.m4a", "started 3", "progress 3 0.986842",
                          "progress 3 1.000000", "complete 3 03 Outro.m4a", "ripComplete"));

  EXPECT_EQ(filesUnder(library.path()),
            (std::set<std::string>{"ACDC", "ACDC/folder.jpg", "ACDC/Live 1992",
                                   "ACDC/Live 1992/cover.jpg", "ACDC/Live 1992/01 Intro.m4a",
                                   "ACDC/Live 1992/02 Thunder_Struck.m4a",
                                   "ACDC/Live 1992/03 Outro.m4a"}));
  const auto items = testing::readM4AItems(albumFolder / "02 Thunder_Struck.m4a");
  EXPECT_EQ(items.title, "Thunder/Struck");
  EXPECT_EQ(items.artist, "AC/DC");
  EXPECT_EQ(items.album, "Live: 1992?");
  EXPECT_EQ(items.trackNumber, std::pair(2, 3));
  ASSERT_EQ(items.jpegCovers.size(), 1u);
  EXPECT_EQ(std::string(items.jpegCovers[0].begin(), items.jpegCovers[0].end()), kCover);
  const auto facts = testing::probeAudioFile(albumFolder / "01 Intro.m4a");
  EXPECT_NEAR(facts.durationSeconds, 2.0, 1024.0 / 44100);
}

TEST_F(RipCDTest, EmptyTrackListStillPreparesTheAlbumAndCompletes) {
  const auto drive = insertDisc({75});
  tracks.clear();
  EXPECT_THAT(rip(drive, release()), ElementsAre("ripComplete"));
  EXPECT_TRUE(fs::is_directory(albumFolder));
  EXPECT_TRUE(fs::exists(albumFolder / "cover.jpg"));
}

TEST_F(RipCDTest, WithoutAReleaseTracksAreNumberedAndNothingIsRequested) {
  const auto drive = insertDisc({75, 75});
  EXPECT_THAT(
      rip(drive, std::nullopt),
      ElementsAre("started 1", "progress 1 1.000000", "complete 1 Track 01.m4a", "started 2",
                  "progress 2 1.000000", "complete 2 Track 02.m4a", "ripComplete"));
  EXPECT_THAT(server.requests(), IsEmpty());
  const auto items = testing::readM4AItems(albumFolder / "Track 02.m4a");
  EXPECT_THAT(items.keys, ElementsAre("trkn"));
  EXPECT_EQ(items.trackNumber, std::pair(2, 2));
}

TEST_F(RipCDTest, TitlesComeFromTheFirstReleaseTrackWithTheNumberAndCoverNeedsBothIds) {
  const auto drive = insertDisc({75, 75, 75});
  auto chosen = release();
  chosen.tracks = {{1, "First", "A", std::nullopt, std::nullopt},
                   {1, "Duplicate", "A", std::nullopt, std::nullopt},
                   {3, "Third", "A", std::nullopt, std::nullopt}};
  chosen.caaId.reset();
  chosen.artistMbid.reset();

  EXPECT_THAT(
      rip(drive, chosen),
      ElementsAre("started 1", "progress 1 1.000000", "complete 1 01 First.m4a", "started 2",
                  "progress 2 1.000000", "complete 2 Track 02.m4a", "started 3",
                  "progress 3 1.000000", "complete 3 03 Third.m4a", "ripComplete"));
  EXPECT_THAT(server.requests(), IsEmpty()) << "no cover without caaId, no artist without id";
  const auto items = testing::readM4AItems(albumFolder / "Track 02.m4a");
  EXPECT_FALSE(items.title);
  EXPECT_EQ(items.album, "Live: 1992?");
  EXPECT_TRUE(items.jpegCovers.empty());
}

TEST_F(RipCDTest, AReadErrorEndsTheImportAndLaterTracksNeverStart) {
  const auto drive = insertDisc({75, 75, 75, 75, 75, 75});
  const auto fifthTrack = tracks[4].startSector;
  device->beforeRead = [fifthTrack](std::int32_t first) { return first >= fifthTrack ? 5 : 0; };

  const auto outcome = rip(drive, release());
  EXPECT_EQ(outcome.back(), "ripFailed readFailed(5)");
  EXPECT_EQ(std::count(outcome.begin(), outcome.end(), "started 5"), 1);
  EXPECT_EQ(std::count(outcome.begin(), outcome.end(), "started 6"), 0);
  EXPECT_TRUE(fs::exists(albumFolder / "Track 04.m4a"))
      << "the rip removes nothing itself; the clean-up of the failed import does";
}

TEST_F(RipCDTest, AnAlbumFolderThatCannotBeCreatedFailsTheFirstTrack) {
  const auto drive = insertDisc({75});
  std::ofstream(library.path() / "ACDC") << "a file where the artist folder should be";
  EXPECT_THAT(rip(drive, std::nullopt),
              ElementsAre("started 1", "progress 1 1.000000", "ripFailed encodingFailed"));
}

void RipCDTest::stopAt(StopPoint point) {
  const auto track = point.track;
  const auto trackFile = [track](const fs::path& path) {
    return path.filename().string().starts_with("." + twoDigits(track));
  };
  switch (point.stage) {
    case Stage::coverDownload:
      ripCD.fetchCoverArt.send = [this](const platform::http::HttpRequest& request,
                                        std::stop_token stop) {
        stopSource.request_stop();
        return platform::http::sendHttpRequest(request, std::move(stop));
      };
      break;
    case Stage::afterTrack:
      onDispatch = [this, track](const state::AnyAction& action) {
        if (describe(action).starts_with("complete " + std::to_string(track))) {
          stopSource.request_stop();
        }
      };
      break;
    case Stage::read:
    case Stage::readFailingAfterStop: {
      // In the middle of the track: at its second request of sectors.
      const auto second = tracks[track - 1].startSector + 75;
      const bool fail = point.stage == Stage::readFailingAfterStop;
      device->beforeRead = [this, second, fail](std::int32_t first) {
        if (first != second) {
          return 0;
        }
        stopSource.request_stop();  // as when the disc is ejected mid-read
        return fail ? ENOMEDIUM : 0;
      };
      break;
    }
    case Stage::encode: {
      auto writer = std::make_shared<testing::HookedAACWriter>();
      writer->afterWrite = [this, trackFile](const fs::path& path, std::size_t) {
        if (trackFile(path)) {
          stopSource.request_stop();
        }
      };
      ripCD.ripTrack.encodeToAAC.writer = writer;
      break;
    }
    case Stage::tagging:
      // The stop comes while the tagged copy takes the temporary file's place, and that fails.
      ripCD.ripTrack.embedMetadata.replaceFile = [this, trackFile](const fs::path& from,
                                                                   const fs::path& to) {
        if (trackFile(to)) {
          stopSource.request_stop();
          throw fs::filesystem_error("rename", from, to,
                                     std::make_error_code(std::errc::device_or_resource_busy));
        }
        fs::rename(from, to);
      };
      break;
  }
}

// A stop keeps the tracks completed before it; "Stop and Remove Files" (the clean-up of the
// completed tracks) then leaves nothing of the import. Neither ever touches the artist picture
// that was there before, nor leaves a temporary file.
TEST_F(RipCDTest, AStopAtAnyStageKeepsCompletedTracksAndNeverTheUsersPicture) {
  const std::string usersPicture = "the user's own picture";
  const std::set<std::string> none;
  const std::set<std::string> first = {"01 Intro.m4a", "cover.jpg"};
  const struct {
    StopPoint at;
    std::set<std::string> albumAfterStop;
  } cases[] = {
      {{Stage::coverDownload}, none},
      {{Stage::afterTrack, 1}, first},
      {{Stage::read, 2}, first},
      {{Stage::readFailingAfterStop, 2}, first},
      {{Stage::encode, 1}, none},
      {{Stage::encode, 3}, {"01 Intro.m4a", "02 Thunder_Struck.m4a", "cover.jpg"}},
      {{Stage::tagging, 2}, first},
  };
  const auto drive = insertDisc({75, 150, 150});
  for (const auto& [at, albumAfterStop] : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "stage " << static_cast<int>(at.stage) << " track " << at.track);
    fs::remove_all(library.path() / "ACDC");
    fs::create_directories(library.path() / "ACDC");
    std::ofstream(library.path() / "ACDC" / "folder.jpg") << usersPicture;
    resetRip();
    stopAt(at);

    EXPECT_EQ(rip(drive, release()).back(), "ripStopped");
    EXPECT_EQ(fs::exists(albumFolder) ? filesUnder(albumFolder) : none, albumAfterStop);

    CleanupRippedFiles{}(completedFiles, /*importSavedArtistPicture=*/false);
    EXPECT_EQ(filesUnder(library.path()), (std::set<std::string>{"ACDC", "ACDC/folder.jpg"}));
    EXPECT_EQ(testing::fileContents(library.path() / "ACDC" / "folder.jpg"), usersPicture);
  }
}

TEST_F(RipCDTest, AStopBeforeTheFirstTrackTakesAwayThePicturesThisImportSaved) {
  const auto drive = insertDisc({75, 75});
  stopAt({Stage::encode, 1});
  EXPECT_THAT(rip(drive, release()), ElementsAre("started 1", "progress 1 1.000000", "ripStopped"));
  EXPECT_THAT(filesUnder(library.path()), IsEmpty());
}

// Importing an album again replaces each earlier track only with a complete new one: a stop
// leaves every track it had not reached exactly as it was.
TEST_F(RipCDTest, AStoppedReimportLeavesTheEarlierTracksItHadNotReplaced) {
  const auto drive = insertDisc({75, 150, 150});
  ASSERT_EQ(rip(drive, release()).back(), "ripComplete");
  std::map<std::string, std::string> earlier;
  for (const auto& name : filesUnder(albumFolder)) {
    earlier[name] = testing::fileContents(albumFolder / name);
  }

  for (const StopPoint at : {StopPoint{Stage::read, 2}, StopPoint{Stage::encode, 1},
                             StopPoint{Stage::read, 3}, StopPoint{Stage::encode, 3}}) {
    SCOPED_TRACE(::testing::Message()
                 << "stage " << static_cast<int>(at.stage) << " track " << at.track);
    for (const auto& [name, contents] : earlier) {
      std::ofstream(albumFolder / name, std::ios::binary | std::ios::trunc) << contents;
    }
    resetRip();
    stopAt(at);

    EXPECT_EQ(rip(drive, release()).back(), "ripStopped");
    EXPECT_EQ(filesUnder(albumFolder).size(), earlier.size()) << "no temporary file is left";
    for (const auto& [name, contents] : earlier) {
      if (name >= twoDigits(at.track)) {
        EXPECT_EQ(testing::fileContents(albumFolder / name), contents) << name;
      }
    }
  }
}

}  // namespace
}  // namespace noru::rip
