// The ripping middleware in a real store, with scripted drives, a scripted metadata exchange
// and a scripted folder dialog: the actions it dispatches, the files it removes, the imports it
// starts.
#include "middleware/cd_rip_middleware.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <semaphore>

#include "middleware/album_folder.h"
#include "platform/http/transport_error.h"
#include "state/app_reducer.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::middleware {
namespace {

namespace fs = std::filesystem;
namespace actions = state::CDRipActions;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kRipCases[] = {"drivesUpdated",
                                     "discInserted",
                                     "discInsertedIfNew",
                                     "discEjected",
                                     "trackRipStarted",
                                     "trackRipProgress",
                                     "trackRipComplete",
                                     "ripFailed",
                                     "ejectDisc",
                                     "ejectAndClose",
                                     "lookupDisc",
                                     "lookupSucceeded",
                                     "lookupFailed",
                                     "selectRelease",
                                     "startRipping",
                                     "stopRipping",
                                     "confirmStopRipping",
                                     "ripComplete",
                                     "ripStopped",
                                     "dismiss",
                                     "debugInjectUnknownDisc",
                                     "debugClearDisc"};
static_assert(std::size(kRipCases) == std::variant_size_v<state::CDRipAction>);
constexpr const char* kUICases[] = {"setCDRipSheetPresented", "setCDManualEntryPresented",
                                    "setOutputFolder"};

std::string caseName(const state::AnyAction& action) {
  if (const auto* rip = std::get_if<state::CDRipAction>(&action)) {
    return kRipCases[rip->index()];
  }
  if (const auto* ui = std::get_if<state::UIAction>(&action)) {
    return kUICases[ui->index()];
  }
  return std::holds_alternative<state::MusicAction>(action) ? "initLibrary" : "didLaunch";
}

state::AnyAction rip(state::CDRipAction action) {
  return action;
}

const disc::CDDrive kDrive{"/sys/drive-a", "Drive A", "sr0", true};
const disc::CDDiscInfo kDisc{{{1, 0, 75}}, 75};

// Sees every action the store dispatches, after the ripping middleware.
struct Recorder {
  std::vector<state::AnyAction>* seen;
  state::AnyAction handle(state::AnyAction action, const state::AppState&, const state::Dispatch&) {
    seen->push_back(action);
    return action;
  }
};

class CDRipMiddlewareTest : public testing::RuntimeFixture {
 protected:
  CDRipMiddlewareTest() {
    middleware.lookupCD.send = [this](const platform::http::HttpRequest& request, std::stop_token) {
      return answerLookup(request.body);
    };
  }

  // The store, built once the test has scripted the middleware.
  state::AppStore& store() {
    if (!store_) {
      store_ =
          state::AppStore::make(state::AppState{}, state::reduceApp, {middleware, Recorder{&seen}});
    }
    return *store_;
  }

  // Dispatches `action`, lets everything that follows from it happen, and returns the names
  // of the actions dispatched after it.
  std::vector<std::string> dispatch(state::AnyAction action) {
    const auto before = seen.size() + 1;
    store().dispatch(std::move(action));
    mainQueue.runPending();
    std::vector<std::string> names;
    for (auto i = before; i < seen.size(); ++i) {
      names.push_back(caseName(seen[i]));
    }
    return names;
  }

  std::size_t count(const std::string& name) const {
    return std::count_if(seen.begin(), seen.end(),
                         [&](const auto& action) { return caseName(action) == name; });
  }

  // Waits until `name` has been dispatched `times` times in all.
  bool awaitAction(const std::string& name, std::size_t times = 1) {
    return mainQueue.runUntil([&] { return count(name) >= times; });
  }

  void insertDisc(disc::CDDiscInfo info = kDisc) {
    dispatch(rip(actions::discInserted{kDrive, std::move(info)}));
    awaitLookup();
  }

  // Waits until the latest lookup has answered.
  void awaitLookup() {
    ASSERT_TRUE(mainQueue.runUntil([&] { return !store().state().cdRip.isLookingUp; }));
  }

  void setLibrary() {
    dispatch(state::UIAction(state::UIActions::setOutputFolder{library.path()}));
  }

  std::shared_ptr<testing::FakeOpticalDrives> drives =
      std::make_shared<testing::FakeOpticalDrives>();
  int dialogRuns = 0;
  bool dialogChoosesFolder = true;
  CDRipMiddleware middleware{
      drives, [this](const state::Dispatch& dispatch) {
        ++dialogRuns;
        if (dialogChoosesFolder) {
          dispatch(state::UIAction(state::UIActions::setOutputFolder{library.path()}));
        }
        return dialogChoosesFolder;
      }};
  // Answers the lookup whose request has this body.
  std::function<platform::http::HttpResponse(const std::string&)> answerLookup =
      [](const std::string&) {
        return platform::http::HttpResponse{200, R"({"releases":[]})"};
      };
  testing::TemporaryFolder library;
  testing::CapturedLog log;
  std::vector<state::AnyAction> seen;

 private:
  std::shared_ptr<state::AppStore> store_;
};

TEST_F(CDRipMiddlewareTest, ADiscFoundByThePollIsLookedUpOnlyWhenItIsNotTheOneShown) {
  insertDisc();
  const auto otherDrive = disc::CDDrive{"/sys/drive-b", "Drive B", "sr1", true};
  auto movedTrack = kDisc;
  movedTrack.tracks[0].startSector = 1;
  const struct {
    disc::CDDrive drive;
    disc::CDDiscInfo info;
    std::vector<std::string> followUps;
  } cases[] = {
      {kDrive, kDisc, {}},
      {otherDrive, kDisc, {"discInserted", "lookupDisc"}},
      {kDrive, movedTrack, {"discInserted", "lookupDisc"}},
  };
  for (const auto& [drive, info, followUps] : cases) {
    insertDisc();
    auto followed = dispatch(rip(actions::discInsertedIfNew{drive, info}));
    std::erase(followed, "lookupSucceeded");  // the answer may or may not be in already
    EXPECT_EQ(followed, followUps) << drive.id << " " << info.tracks[0].startSector;
    awaitLookup();
  }
}

TEST_F(CDRipMiddlewareTest, TheLookupAnswersWithTheReleasesOrTheErrorsDescription) {
  answerLookup = [](const std::string&) {
    return platform::http::HttpResponse{
        200, R"({"disc_id":"d-1","releases":[{"release_mbid":"r-1","title":"Album",)"
             R"("artist_credit":"Artist","tracks":[]}]})"};
  };
  insertDisc();
  EXPECT_EQ(store().state().cdRip.lookupDiscId, "d-1");
  ASSERT_TRUE(store().state().cdRip.selectedRelease);
  EXPECT_EQ(store().state().cdRip.selectedRelease->title, "Album");

  answerLookup = [](const std::string&) -> platform::http::HttpResponse {
    throw platform::http::TransportError(platform::http::TransportError::Kind::timedOut);
  };
  dispatch(rip(actions::lookupDisc{kDisc}));
  ASSERT_TRUE(awaitAction("lookupFailed"));
  EXPECT_EQ(store().state().cdRip.lookupError, "The request timed out.");
}

// The answer for a disc that has since been replaced must not be offered for the next one.
TEST_F(CDRipMiddlewareTest, TheAnswerOfASupersededLookupIsDropped) {
  std::binary_semaphore firstMayAnswer{0};
  const disc::CDDiscInfo nextDisc{{{1, 0, 4350}}, 4350};
  const auto firstRequest = lookup::LookupCD::Request::from(kDisc).encode();
  answerLookup = [&](const std::string& body) {
    if (body == firstRequest) {
      firstMayAnswer.acquire();
      return platform::http::HttpResponse{
          200, R"({"releases":[{"release_mbid":"old","title":"Old","artist_credit":"A",)"
               R"("tracks":[]}]})"};
    }
    return platform::http::HttpResponse{200, R"({"releases":[]})"};
  };
  dispatch(rip(actions::lookupDisc{kDisc}));
  dispatch(rip(actions::lookupDisc{nextDisc}));
  const bool latestAnswered = awaitAction("lookupSucceeded");
  firstMayAnswer.release();
  ASSERT_TRUE(latestAnswered);
  ASSERT_TRUE(mainQueue.runUntil(
      [&] { return !log.linesStartingWith("CDRipMiddleware: dropped").empty(); }));

  EXPECT_EQ(count("lookupSucceeded"), 1u);
  EXPECT_FALSE(store().state().cdRip.selectedRelease);
}

// What the user asks for with the stop buttons, and an import that fails: the files listed
// before the reducer empties the list go, with nothing else.
TEST_F(CDRipMiddlewareTest, AConfirmedStopOrAFailureRemovesExactlyTheListedFiles) {
  const struct {
    state::CDRipAction action;
    bool removes;
  } cases[] = {
      {actions::confirmStopRipping{}, true},
      {actions::ripFailed{"readFailed(5)"}, true},
      {actions::stopRipping{}, false},
  };
  const auto album = library.path() / "Artist" / "Album";
  for (const auto& [action, removes] : cases) {
    SCOPED_TRACE(kRipCases[action.index()]);
    fs::create_directories(album);
    for (const char* name : {"01 One.m4a", "02 Two.m4a", "03 Unlisted.m4a"}) {
      std::ofstream(album / name) << "audio";
    }
    dispatch(rip(actions::trackRipComplete{1, album / "01 One.m4a"}));
    dispatch(rip(actions::trackRipComplete{2, album / "02 Two.m4a"}));

    dispatch(action);

    EXPECT_EQ(fs::exists(album / "01 One.m4a"), !removes);
    EXPECT_EQ(fs::exists(album / "02 Two.m4a"), !removes);
    EXPECT_TRUE(fs::exists(album / "03 Unlisted.m4a"));
    fs::remove_all(library.path() / "Artist");
    dispatch(rip(actions::discEjected{kDrive.id}));  // empties the list
  }
}

TEST_F(CDRipMiddlewareTest, EjectingFindsTheDriveByItsIdentityAndAnEjectClosesTheSheet) {
  drives->deviceList = std::vector<platform::linux_cd::OpticalDevice>{
      {"Drive A", kDrive.id, platform::linux_cd::kMediaPresent, "sr0"}};

  EXPECT_THAT(dispatch(rip(actions::ejectAndClose{kDrive.id})), ElementsAre("ejectDisc"));
  ASSERT_EQ(drives->ejected.size(), 1u);
  EXPECT_EQ(drives->ejected[0].bsdName, "sr0");

  log.clear();
  EXPECT_THAT(dispatch(rip(actions::ejectDisc{"/sys/unknown"})), IsEmpty());
  EXPECT_EQ(drives->ejected.size(), 1u);
  EXPECT_TRUE(
      log.contains("CDRipMiddleware: ejectDisc \u2014 drive not found for id /sys/unknown"));

  EXPECT_THAT(dispatch(rip(actions::discEjected{kDrive.id})),
              ElementsAre("setCDRipSheetPresented"));
  EXPECT_FALSE(store().state().ui.isCDRipSheetPresented);
}

TEST_F(CDRipMiddlewareTest, WithoutALibraryFolderTheDialogComesFirstAndOneImportFollows) {
  insertDisc({{}, 0});  // no tracks: the import completes at once
  dialogChoosesFolder = false;
  EXPECT_THAT(dispatch(rip(actions::startRipping{})), IsEmpty());
  EXPECT_EQ(dialogRuns, 1);
  EXPECT_FALSE(middleware.ripTask->task);

  dialogChoosesFolder = true;
  auto followed = dispatch(rip(actions::startRipping{}));
  std::erase_if(followed, [](const auto& name) {  // the import's end may or may not be in
    return name == "ripComplete" || name == "initLibrary";
  });
  EXPECT_THAT(followed, ElementsAre("setOutputFolder", "startRipping"));
  ASSERT_TRUE(awaitAction("ripComplete"));
  mainQueue.runPending();
  EXPECT_EQ(count("ripComplete"), 1u);
  EXPECT_EQ(count("initLibrary"), 1u);
  EXPECT_EQ(dialogRuns, 2);
  EXPECT_TRUE(fs::is_directory(library.path() / "Unknown Artist"));
}

// Two imports at once would read the same drive and write the same files.
TEST_F(CDRipMiddlewareTest, AnImportRequestedWhileOneRunsStartsNoSecond) {
  std::binary_semaphore readMayFinish{0};
  drives->readHook = [&](const testing::FakeOpticalDrives::AudioRead&, std::uint8_t*) {
    readMayFinish.acquire();
    return 0;
  };
  setLibrary();
  insertDisc();
  dispatch(rip(actions::startRipping{}));
  const bool started = awaitAction("trackRipStarted");

  dispatch(rip(actions::startRipping{}));
  readMayFinish.release();
  ASSERT_TRUE(started);
  ASSERT_TRUE(awaitAction("ripComplete"));
  mainQueue.runPending();
  EXPECT_EQ(count("trackRipStarted"), 1u);
}

TEST(AlbumFolder, LiesTwoLevelsInsideTheLibraryWhateverTheRelease) {
  const fs::path library = "/music";
  const std::string longTitle(290, 'x');
  const struct {
    std::string artist;
    std::string title;
    fs::path folder;
  } cases[] = {
      {"AC/DC", "Live: 1992?", "/music/ACDC/Live 1992"},
      {"A", "  Best  ", "/music/A/Best"},
      {"..", ".", "/music/Unknown Artist/Unknown Album"},
      {"", "///", "/music/Unknown Artist/Unknown Album"},
      {std::string("N\0ul", 4), " . ", "/music/Nul/Unknown Album"},
      {"A", longTitle, "/music/A/" + std::string(255, 'x')},
      {"A", std::string(254, 'x') + " \u00E9", "/music/A/" + std::string(254, 'x')},
  };
  for (const auto& [artist, title, folder] : cases) {
    disc::CDLookupRelease release;
    release.artistCredit = artist;
    release.title = title;
    EXPECT_EQ(albumFolder(library, release, {}), folder) << artist << " / " << title;
  }

  std::tm local{};
  local.tm_year = 2024 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 9;
  local.tm_hour = 14;
  local.tm_min = 5;
  local.tm_isdst = -1;
  const auto now = std::chrono::system_clock::from_time_t(std::mktime(&local));
  EXPECT_EQ(albumFolder(library, std::nullopt, now),
            "/music/Unknown Artist/CD Rip 2024-03-09 14.05");
}

}  // namespace
}  // namespace noru::middleware
