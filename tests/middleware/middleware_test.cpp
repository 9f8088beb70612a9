// The disc watcher, and the ripping middleware in a real store, on scripted drives, metadata
// exchange and folder dialog: the rules the journeys do not reach.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <semaphore>
#include <set>
#include <thread>

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

// Every full-TOC read passes here on its way to the drive and is recorded; while the gate is
// closed it is held (on the main thread for 20 s at most, so that the test fails, not hangs).
struct TocGate {
  void pass(const std::string& bsdName) {
    std::unique_lock lock(mutex);
    reads.push_back(bsdName);
    changed.wait_for(lock, std::chrono::seconds(20), [this] { return open; });
  }
  void set(bool isOpen) {
    std::lock_guard lock(mutex);
    open = isOpen;
    changed.notify_all();
  }
  std::vector<std::string> names() const {
    std::lock_guard lock(mutex);
    return reads;
  }
  mutable std::mutex mutex;
  std::condition_variable changed;
  bool open = true;
  std::vector<std::string> reads;
};

class CDDetectionServiceTest : public noru::testing::RuntimeFixture {
 protected:
  CDDetectionServiceTest() {
    // One audio track, from 00:02:00 up to the lead-out at 00:03:00 (75 sectors).
    drives->tocReplies["sr0"] = {
        FullTocReply::Outcome::ok,
        {0, 24, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0, 1, 0x10, 0, 0xA2, 0, 0, 0, 0, 0, 3, 0}};
    drives->tocHook = [gate = gate](const std::string& bsdName) { gate->pass(bsdName); };
  }
  // A read still held would keep the runtime from joining its thread.
  ~CDDetectionServiceTest() override { gate->set(true); }

  // Starts the service on these drives and returns the first `count` actions it reports.
  Actions start(std::vector<OpticalDevice> devices, std::size_t count) {
    drives->deviceList = std::move(devices);
    service->start(record);
    return await(count);
  }
  // Lets the poll tick once and returns the first `count` actions it reports.
  Actions poll(std::size_t count) {
    mainQueue.advanceBy(CDDetectionService::kPollInterval);
    return await(count);
  }
  // Runs the main queue until `count` actions have been reported, and takes them.
  Actions await(std::size_t count) {
    mainQueue.runUntil([&] { return dispatched.size() >= count; });
    return std::exchange(dispatched, {});
  }
  bool awaitReads(std::size_t count) {
    return mainQueue.runUntil([&] { return gate->names().size() == count; });
  }

  std::shared_ptr<TocGate> gate = std::make_shared<TocGate>();
  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  std::set<std::string> inUse;  // the ids of the drives that an import reads
  int drivesAskedAbout = 0;
  std::shared_ptr<CDDetectionService> service =
      CDDetectionService::create(drives, [this](const CDDrive& drive) {
        ++drivesAskedAbout;
        return inUse.contains(drive.id);
      });
  Actions dispatched;
  CDDetectionService::Dispatch record = [this](state::AnyAction action) {
    dispatched.push_back(std::move(action));
  };
};

// A disc whose table of contents cannot be read is still remembered as there.
TEST_F(CDDetectionServiceTest,
       StartReportsTheDrivesAndADiscAlreadyPresentAndReplacesAnEarlierStart) {
  EXPECT_EQ(start({device(0, "present"), device(1, "none")}, 2),
            (Actions{updated({drive(0, true), drive(1, false)}),
                     rip(actions::discInserted{drive(0, true), kDisc})}));
  EXPECT_EQ(start({device(0, "none")}, 1), Actions{updated({drive(0, false)})});
  drives->tocReplies["sr0"] = {FullTocReply::Outcome::noToc, {}};
  EXPECT_EQ(start({device(0, "present")}, 1), Actions{updated({drive(0, true)})});

  // Starting again left neither the earlier registrations nor their polls behind to report
  // twice; the last start saw the disc, so the poll that finds it gone ejects it.
  drives->deviceList = std::vector{device(0, "none")};
  drives->emit({DeviceEventKind::appeared, device(0, "none")});
  EXPECT_EQ(poll(3),
            (Actions{updated({drive(0, false)}), updated({drive(0, false)}), ejected(kPaths[0])}));
}

// A drive that keeps its disc is reported on every tick, its table of contents read once;
// whatever may have changed the disc has it read again.
TEST_F(CDDetectionServiceTest, PollReportsEveryLoadedDriveOnEveryTickReadingItsDiscOnce) {
  const auto present = std::vector{device(0, "present")};
  const struct {
    const char* between;
    std::function<void()> change;
    std::size_t rereads;
  } cases[] = {
      {"nothing", [] {}, 0},
      {"a medium change",
       [&] {
         drives->emit({DeviceEventKind::statusChanged, device(0, "notReady")});
         await(2);
       },
       1},
      {"a poll finding the drive empty",
       [&] {
         drives->deviceList = std::vector{device(0, "none")};
         poll(2);
         drives->deviceList = present;
       },
       1},
      {"the drive leaving as an ejected disc image does, gone before its medium change is seen",
       [&] {
         drives->deviceList = std::vector<OpticalDevice>{};
         drives->emit({DeviceEventKind::statusChanged, device(0, "none")});
         drives->emit({DeviceEventKind::disappeared, device(0, "none")});
         EXPECT_EQ(await(3), (Actions{updated({}), ejected(kPaths[0]), updated({})}));
         drives->deviceList = present;
       },
       1},
  };
  const Actions found{updated({drive(0, true)}),
                      rip(actions::discInsertedIfNew{drive(0, true), kDisc})};
  for (const auto& [between, change, rereads] : cases) {
    start(present, 2);
    const auto reads = gate->names().size();
    EXPECT_EQ(poll(2), found) << between;
    EXPECT_EQ(poll(2), found) << between;
    change();
    EXPECT_EQ(poll(2), found) << between;
    EXPECT_EQ(gate->names().size(), reads + rereads) << between;
  }
  mainQueue.advanceBy(std::chrono::milliseconds(2999));
  EXPECT_TRUE(dispatched.empty());
}

TEST_F(CDDetectionServiceTest, PollEjectsEveryDriveOnceAllHaveBecomeEmpty) {
  for (const char* stateOfB : {"present", "none"}) {
    start({device(0, "present"), device(1, stateOfB)}, 2);
    drives->deviceList = std::vector{device(0, "none"), device(1, "none")};
    EXPECT_EQ(poll(3), (Actions{updated({drive(0, false), drive(1, false)}), ejected(kPaths[0]),
                                ejected(kPaths[1])}))
        << "drive B " << stateOfB;
    EXPECT_EQ(poll(1), Actions{updated({drive(0, false), drive(1, false)})});
  }
}

// A drive slow to give its table of contents holds up neither the main thread nor the order
// of what happens meanwhile: the disc leaves (a medium still spinning up counts as gone until
// the drive says otherwise) and comes back, the poll ticks twice, a drive appears. The journeys
// do the same on disc images.
TEST_F(CDDetectionServiceTest, ASlowTableOfContentsFreezesNothingAndKeepsTheOrderOfEvents) {
  gate->set(false);
  drives->deviceList = std::vector{device(0, "present")};
  service->start(record);
  ASSERT_TRUE(awaitReads(1));
  drives->emit({DeviceEventKind::statusChanged, device(0, "notReady")});
  drives->emit({DeviceEventKind::statusChanged, device(0, "present")});
  mainQueue.advanceBy(2 * CDDetectionService::kPollInterval);
  drives->emit({DeviceEventKind::appeared, device(0, "present")});
  platform::tasks::mainQueue().post([] {});
  EXPECT_EQ(mainQueue.runPending(), 1u);  // the main queue goes on with other work
  EXPECT_TRUE(dispatched.empty());

  gate->set(true);
  const auto listed = updated({drive(0, true)});
  const auto inserted = rip(actions::discInserted{drive(0, true), kDisc});
  EXPECT_EQ(await(9),
            (Actions{listed, inserted, listed, ejected(kPaths[0]), listed, inserted, listed,
                     rip(actions::discInsertedIfNew{drive(0, true), kDisc}), listed}));
  EXPECT_EQ(drivesAskedAbout, 1);  // the second tick found the first poll waiting
  EXPECT_EQ(gate->names().size(), 2u);
}

// The drive an import reads stays listed, but the poll neither reads nor reports its disc
// until the import ends.
TEST_F(CDDetectionServiceTest, ThePollLeavesTheDiscOfADriveInUseAlone) {
  drives->tocReplies["sr1"] = drives->tocReplies["sr0"];
  start({}, 1);
  drives->deviceList = std::vector{device(0, "present"), device(1, "present")};
  inUse = {kPaths[0]};
  const auto loaded = std::vector{drive(0, true), drive(1, true)};
  EXPECT_EQ(poll(2),
            (Actions{updated(loaded), rip(actions::discInsertedIfNew{drive(1, true), kDisc})}));
  EXPECT_EQ(gate->names(), std::vector<std::string>{"sr1"});

  inUse.clear();
  EXPECT_EQ(poll(3),
            (Actions{updated(loaded), rip(actions::discInsertedIfNew{drive(0, true), kDisc}),
                     rip(actions::discInsertedIfNew{drive(1, true), kDisc})}));
  EXPECT_EQ(gate->names(), (std::vector<std::string>{"sr1", "sr0"}));
}

// What was under way when the watcher stopped is never reported: not through the dispatch it
// was started with, not after a new start, and not while the application quits (the read
// then ends on its own, after the watcher is gone).
TEST_F(CDDetectionServiceTest, NothingIsReportedAfterStopByWorkUnderWay) {
  Actions beforeStop;
  gate->set(false);
  drives->deviceList = std::vector{device(0, "present")};
  service->start([&](state::AnyAction action) { beforeStop.push_back(std::move(action)); });
  ASSERT_TRUE(awaitReads(1));
  service->stop();
  gate->set(true);
  EXPECT_EQ(start({device(0, "present"), device(1, "none")}, 2),
            (Actions{updated({drive(0, true), drive(1, false)}),
                     rip(actions::discInserted{drive(0, true), kDisc})}));
  EXPECT_TRUE(beforeStop.empty());

  gate->set(false);
  drives->emit({DeviceEventKind::statusChanged, device(0, "present")});
  ASSERT_TRUE(awaitReads(3));
  runtime.quit([&] {
    service->stop();
    service.reset();
    gate->set(true);
  });
  mainQueue.runPending();
  EXPECT_TRUE(dispatched.empty());
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
  CDRipMiddleware middleware{
      drives,
      {.metadataService = "http://127.0.0.1:1",
       .exchange = [this](const platform::http::HttpRequest& request,
                          std::stop_token) { return answerLookup(request.body); }},
      [](const state::Dispatch&) { return false; }};  // the user cancels the folder dialog
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

// An import held in the first read of its second track, as a slow drive would hold it.
class HeldImportTest : public CDRipMiddlewareTest {
 protected:
  HeldImportTest() {
    drives->deviceList = std::vector{device(0, "present")};
    drives->readHook = [this](const testing::FakeOpticalDrives::AudioRead& read, std::uint8_t*) {
      if (read.firstSector == kTwoTracks.tracks[1].startSector && !held.exchange(true)) {
        readMayGoOn.acquire();
      }
      return 0;
    };
    dispatch(state::UIAction(state::UIActions::setOutputFolder{library.path()}));
    dispatch(rip(actions::discInserted{kDrive, kTwoTracks}));
    dispatch(rip(actions::startRipping{}));
    // The disc's lookup has answered too, so that nothing of it comes in the middle of a test.
    EXPECT_TRUE(
        mainQueue.runUntil([&] { return held.load() && !store->state().cdRip.isLookingUp; }));
    mainQueue.runPending();
  }
  ~HeldImportTest() override { readMayGoOn.release(); }

  static inline const disc::CDDiscInfo kTwoTracks{{{1, 0, 75}, {2, 75, 75}}, 150};
  std::binary_semaphore readMayGoOn{0};
  std::atomic<bool> held = false;
};

// The drive refuses to eject while the import's read still holds it open: the eject waits,
// off the main thread, for the stopped import to let go. A refusal for another reason leaves the
// disc (and the window) as it was, and says why in the log.
TEST_F(HeldImportTest, AnEjectWaitsForTheStoppedImportToLetGoOfTheDrive) {
  EXPECT_EQ(dispatch(rip(actions::ejectAndClose{kDrive.id})),
            Actions{rip(actions::ejectDisc{kDrive.id})});
  mainQueue.runPending();
  EXPECT_TRUE(drives->ejected().empty());
  readMayGoOn.release();
  ASSERT_TRUE(mainQueue.runUntil([&] { return !drives->ejected().empty(); }));
  EXPECT_EQ(drives->ejected(), std::vector{device(0, "present")});
  EXPECT_EQ(dispatch(rip(actions::discEjected{kDrive.id})),
            Actions{state::UIAction(state::UIActions::setCDRipSheetPresented{false})});

  testing::CapturedLog log;
  drives->ejectError = EIO;
  dispatch(rip(actions::discInserted{kDrive, kTwoTracks}));
  const auto shown = store->state().cdRip;
  dispatch(rip(actions::ejectAndClose{kDrive.id}));
  ASSERT_TRUE(mainQueue.runUntil(
      [&] { return !log.linesStartingWith("CDRipMiddleware: ejectDisc \u2014 drive").empty(); }));
  EXPECT_EQ(drives->ejected().size(), 1u);
  EXPECT_EQ(store->state().cdRip.discInfo, shown.discInfo);
}

// Preferences changed while an import runs are for the next one: the running import keeps its
// format, and the next import of the album (in the same folder here) writes the new format
// beside the files of the first, which it leaves alone.
TEST_F(HeldImportTest, PreferencesChangedDuringAnImportAreForTheNextOne) {
  dispatch(
      state::UIAction(state::UIActions::setImportPreferences{{.format = disc::AudioFormat::flac}}));
  readMayGoOn.release();
  ASSERT_TRUE(awaitAction<actions::ripComplete>());
  seen.clear();
  // The first import's task ends just after it tells of its end; until then a start is refused.
  for (int attempt = 0; attempt < 1000 && !std::ranges::any_of(seen, is<actions::trackRipStarted>);
       ++attempt) {
    dispatch(rip(actions::startRipping{}));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    mainQueue.runPending();
  }
  ASSERT_TRUE(awaitAction<actions::ripComplete>());
  std::multiset<std::string> endings;
  for (const auto& file : testing::filesUnder(library.path())) {
    endings.insert(fs::path(file).extension().string());
  }
  EXPECT_EQ(endings.count(".m4a"), 2u);
  EXPECT_EQ(endings.count(".flac"), 2u);
  EXPECT_TRUE(drives->ejected().empty()) << "not asked for";
}

// Asked for, the disc comes out once its import is complete.
TEST_F(HeldImportTest, TheDiscIsEjectedWhenItsImportCompletesIfThatIsAskedFor) {
  dispatch(state::UIAction(state::UIActions::setImportPreferences{{.ejectWhenComplete = true}}));
  readMayGoOn.release();
  ASSERT_TRUE(awaitAction<actions::ripComplete>());
  ASSERT_TRUE(mainQueue.runUntil([&] { return !drives->ejected().empty(); }));
  EXPECT_EQ(drives->ejected(), std::vector{device(0, "present")});
}

// Two imports at once would read the same drive and write the same files. (A cancelled folder
// dialog starting nothing is the import journey's.)
// An import asked for while one runs (as when the last one has told its end but its task has not
// yet let go of the drive) starts once that one has ended, never beside it.
TEST_F(CDRipMiddlewareTest, AnImportAskedForWhileOneRunsStartsOnceItHasEnded) {
  std::binary_semaphore readMayFinish{0};
  std::atomic<bool> firstRead = true;
  drives->readHook = [&](const testing::FakeOpticalDrives::AudioRead&, std::uint8_t*) {
    if (firstRead.exchange(false)) {
      readMayFinish.acquire();
    }
    return 0;
  };
  insertDisc();
  dispatch(state::UIAction(state::UIActions::setOutputFolder{library.path()}));
  dispatch(rip(actions::startRipping{}));
  const bool started = awaitAction<actions::trackRipStarted>();

  dispatch(rip(actions::startRipping{}));
  readMayFinish.release();
  ASSERT_TRUE(started);
  const auto completions = [&] { return std::ranges::count(seen, rip(actions::ripComplete{})); };
  ASSERT_TRUE(mainQueue.runUntil([&] { return completions() == 2; }));
  const auto firstEnd = std::ranges::find(seen, rip(actions::ripComplete{}));
  EXPECT_EQ(std::count(seen.begin(), firstEnd, rip(actions::trackRipStarted{1})), 1);
  EXPECT_EQ(std::ranges::count(seen, rip(actions::trackRipStarted{1})), 2);
}

}  // namespace
}  // namespace noru::middleware
