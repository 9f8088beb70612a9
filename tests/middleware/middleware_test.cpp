// The disc watcher, and the ripping middleware in a real store, on scripted drives, metadata
// exchange and folder dialog: the rules the journeys do not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <semaphore>

#include "middleware/cd_detection_service.h"
#include "middleware/cd_rip_middleware.h"
#include "state/app_reducer.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::middleware {
namespace {

namespace fs = std::filesystem;
namespace actions = state::CDRipActions;
using disc::CDDrive;
using platform::linux_cd::DeviceEventKind;
using platform::linux_cd::FullTocReply;
using platform::linux_cd::OpticalDevice;
using Actions = std::vector<state::AnyAction>;

state::AnyAction rip(state::CDRipAction action) {
  return action;
}

const std::string kPaths[] = {"/sys/devices/a/block/sr0", "/sys/devices/b/block/sr1"};
const disc::CDDiscInfo kDisc{{{1, 0, 75}}, 75};

// Drive 0 ("Drive A", sr0) or drive 1 ("Drive B", sr1), as the system lists it and as reported.
OpticalDevice device(int i, const char* media) {
  return {i ? "Drive B" : "Drive A", kPaths[i], media, i ? "sr1" : "sr0"};
}
CDDrive drive(int i, bool hasDisc) {
  return {kPaths[i], i ? "Drive B" : "Drive A", i ? "sr1" : "sr0", hasDisc};
}
const CDDrive kDrive = drive(0, true);

state::AnyAction updated(std::vector<CDDrive> list) {
  return rip(actions::drivesUpdated{std::move(list)});
}
state::AnyAction ejected(std::string id) {
  return rip(actions::discEjected{std::move(id)});
}

class CDDetectionServiceTest : public noru::testing::RuntimeFixture {
 protected:
  CDDetectionServiceTest() {
    // One audio track, from 00:02:00 up to the lead-out at 00:03:00 (75 sectors).
    drives->tocReplies["sr0"] = {
        FullTocReply::Outcome::ok,
        {0, 24, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0, 1, 0x10, 0, 0xA2, 0, 0, 0, 0, 0, 3, 0}};
  }

  // Starts the service on these drives and returns what it reported.
  Actions start(std::vector<OpticalDevice> devices) {
    drives->deviceList = std::move(devices);
    service->start([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
    return take();
  }

  Actions take() { return std::exchange(dispatched, {}); }

  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  std::shared_ptr<CDDetectionService> service = CDDetectionService::create(drives);
  Actions dispatched;
};

// A disc whose table of contents cannot be read is still remembered as there.
TEST_F(CDDetectionServiceTest,
       StartReportsTheDrivesAndADiscAlreadyPresentAndReplacesAnEarlierStart) {
  EXPECT_EQ(start({device(0, "present"), device(1, "none")}),
            (Actions{updated({drive(0, true), drive(1, false)}),
                     rip(actions::discInserted{drive(0, true), kDisc})}));
  EXPECT_TRUE(service->lastPollHadDisc);
  service->lastPollHadDisc = false;
  drives->tocReplies["sr0"] = {FullTocReply::Outcome::noToc, {}};
  EXPECT_EQ(start({device(0, "present")}), Actions{updated({drive(0, true)})});
  EXPECT_TRUE(service->lastPollHadDisc);

  // Starting again left neither the earlier registration nor its poll behind to report twice.
  drives->deviceList = std::vector{device(0, "none")};
  drives->emit({DeviceEventKind::appeared, device(0, "none")});
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(),
            (Actions{updated({drive(0, false)}), updated({drive(0, false)}), ejected(kPaths[0])}));
}

TEST_F(CDDetectionServiceTest, PollReportsEveryLoadedDriveOnEveryTick) {
  start({device(0, "present")});
  for (int tick = 0; tick < 2; ++tick) {
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(), (Actions{updated({drive(0, true)}),
                               rip(actions::discInsertedIfNew{drive(0, true), kDisc})}));
  }
  mainQueue.advanceBy(std::chrono::milliseconds(2999));
  EXPECT_TRUE(take().empty());
}

TEST_F(CDDetectionServiceTest, PollEjectsEveryDriveOnceAllHaveBecomeEmpty) {
  for (const char* stateOfB : {"present", "none"}) {
    start({device(0, "present"), device(1, stateOfB)});
    drives->deviceList = std::vector{device(0, "none"), device(1, "none")};
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(), (Actions{updated({drive(0, false), drive(1, false)}), ejected(kPaths[0]),
                               ejected(kPaths[1])}))
        << "drive B " << stateOfB;
    EXPECT_FALSE(service->lastPollHadDisc);
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(), Actions{updated({drive(0, false), drive(1, false)})});
  }
}

// Insertion and ejection by status change are checked by the journeys, on disc images; a
// medium still spinning up counts as gone until the drive says otherwise.
TEST_F(CDDetectionServiceTest, AMediumNotReadyCountsAsEjected) {
  start({device(0, "present")});
  drives->deviceList = std::vector{device(0, "notReady")};
  drives->emit({DeviceEventKind::statusChanged, device(0, "notReady")});
  EXPECT_EQ(take(), (Actions{updated({drive(0, false)}), ejected(kPaths[0])}));
}

template <class A>
bool is(const state::AnyAction& action) {
  const auto* ripAction = std::get_if<state::CDRipAction>(&action);
  return ripAction && std::holds_alternative<A>(*ripAction);
}

// Sees every action the store dispatches, after the ripping middleware.
struct Recorder {
  Actions* seen;
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
    store =
        state::AppStore::make(state::AppState{}, state::reduceApp, {middleware, Recorder{&seen}});
  }

  // Dispatches `action`, lets everything that follows from it happen, and returns the actions
  // dispatched after it.
  Actions dispatch(state::AnyAction action) {
    const auto before = seen.size() + 1;
    store->dispatch(std::move(action));
    mainQueue.runPending();
    return Actions(seen.begin() + static_cast<std::ptrdiff_t>(std::min(before, seen.size())),
                   seen.end());
  }

  template <class A>
  bool awaitAction() {
    return mainQueue.runUntil([&] { return std::ranges::any_of(seen, is<A>); });
  }

  void insertDisc() {
    dispatch(rip(actions::discInserted{kDrive, kDisc}));
    ASSERT_TRUE(mainQueue.runUntil([&] { return !store->state().cdRip.isLookingUp; }));
  }

  std::shared_ptr<testing::FakeOpticalDrives> drives =
      std::make_shared<testing::FakeOpticalDrives>();
  int dialogRuns = 0;
  CDRipMiddleware middleware{drives, [this](const state::Dispatch&) {
                               ++dialogRuns;
                               return false;  // the user cancels
                             }};
  // Answers the lookup whose request has this body.
  std::function<platform::http::HttpResponse(const std::string&)> answerLookup =
      [](const std::string&) {
        return platform::http::HttpResponse{200, R"({"releases":[]})"};
      };
  testing::TemporaryFolder library;
  Actions seen;
  std::shared_ptr<state::AppStore> store;
};

TEST_F(CDRipMiddlewareTest, ADiscFoundByThePollIsLookedUpOnlyWhenItIsNotTheOneShown) {
  auto movedTrack = kDisc;
  movedTrack.tracks[0].startSector = 1;
  const struct {
    disc::CDDrive drive;
    disc::CDDiscInfo info;
    bool lookedUp;
  } cases[] = {{kDrive, kDisc, false}, {drive(1, true), kDisc, true}, {kDrive, movedTrack, true}};
  for (const auto& [drive, info, lookedUp] : cases) {
    insertDisc();
    auto followed = dispatch(rip(actions::discInsertedIfNew{drive, info}));
    std::erase_if(followed, is<actions::lookupSucceeded>);  // may or may not be in already
    const Actions lookup{rip(actions::discInserted{drive, info}), rip(actions::lookupDisc{info})};
    EXPECT_EQ(followed, lookedUp ? lookup : Actions{})
        << drive.id << " " << info.tracks[0].startSector;
    ASSERT_TRUE(mainQueue.runUntil([&] { return !store->state().cdRip.isLookingUp; }));
  }
}

// The answer for a disc that has since been replaced must not be offered for the next one.
TEST_F(CDRipMiddlewareTest, TheAnswerOfASupersededLookupIsDropped) {
  testing::CapturedLog log;
  std::binary_semaphore firstMayAnswer{0};
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
  dispatch(rip(actions::lookupDisc{{{{1, 0, 4350}}, 4350}}));
  const bool latestAnswered = awaitAction<actions::lookupSucceeded>();
  firstMayAnswer.release();
  ASSERT_TRUE(latestAnswered);
  // The log line only tells when the first answer has come and gone.
  ASSERT_TRUE(mainQueue.runUntil(
      [&] { return !log.linesStartingWith("CDRipMiddleware: dropped").empty(); }));
  EXPECT_EQ(std::ranges::count_if(seen, is<actions::lookupSucceeded>), 1);
  EXPECT_FALSE(store->state().cdRip.selectedRelease);
}

// The files listed before the reducer empties the list go, with nothing else, once the stop is
// confirmed. (A failure removing them is the journeys'.)
TEST_F(CDRipMiddlewareTest, AConfirmedStopRemovesExactlyTheListedFiles) {
  const auto album = library.path() / "Artist" / "Album";
  fs::create_directories(album);
  for (const char* name : {"01 One.m4a", "02 Two.m4a", "03 Unlisted.m4a"}) {
    std::ofstream(album / name) << "audio";
  }
  dispatch(rip(actions::trackRipComplete{1, album / "01 One.m4a"}));
  dispatch(rip(actions::trackRipComplete{2, album / "02 Two.m4a"}));
  dispatch(rip(actions::stopRipping{}));
  EXPECT_TRUE(fs::exists(album / "01 One.m4a"));
  dispatch(rip(actions::confirmStopRipping{}));
  EXPECT_FALSE(fs::exists(album / "01 One.m4a"));
  EXPECT_FALSE(fs::exists(album / "02 Two.m4a"));
  EXPECT_TRUE(fs::exists(album / "03 Unlisted.m4a"));
}

TEST_F(CDRipMiddlewareTest, EjectingFindsTheDriveByItsIdentityAndAnEjectClosesTheSheet) {
  drives->deviceList = std::vector{device(0, "present")};

  EXPECT_EQ(dispatch(rip(actions::ejectAndClose{kDrive.id})),
            Actions{rip(actions::ejectDisc{kDrive.id})});
  EXPECT_EQ(drives->ejected, std::vector{device(0, "present")});

  EXPECT_EQ(dispatch(rip(actions::discEjected{kDrive.id})),
            Actions{state::UIAction(state::UIActions::setCDRipSheetPresented{false})});
}

// Without a library folder a cancelled dialog starts nothing and ends the start that the state
// recorded; two imports at once would read the same drive and write the same files.
TEST_F(CDRipMiddlewareTest, NoImportStartsWithoutAFolderOrWhileOneRuns) {
  std::binary_semaphore readMayFinish{0};
  drives->readHook = [&](const testing::FakeOpticalDrives::AudioRead&, std::uint8_t*) {
    readMayFinish.acquire();
    return 0;
  };
  insertDisc();
  EXPECT_EQ(dispatch(rip(actions::startRipping{})), Actions{rip(actions::ripStopped{})});
  EXPECT_FALSE(store->state().cdRip.isRipping);
  EXPECT_EQ(dialogRuns, 1);
  EXPECT_FALSE(middleware.ripTask->task);

  dispatch(state::UIAction(state::UIActions::setOutputFolder{library.path()}));
  dispatch(rip(actions::startRipping{}));
  const bool started = awaitAction<actions::trackRipStarted>();

  dispatch(rip(actions::startRipping{}));
  readMayFinish.release();
  ASSERT_TRUE(started);
  ASSERT_TRUE(awaitAction<actions::ripComplete>());
  mainQueue.runPending();
  EXPECT_EQ(std::ranges::count_if(seen, is<actions::trackRipStarted>), 1);
}

}  // namespace
}  // namespace noru::middleware
