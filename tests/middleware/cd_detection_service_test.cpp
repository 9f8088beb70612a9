#include "middleware/cd_detection_service.h"

#include <gtest/gtest.h>

#include "disc/toc_bytes.h"
#include "state/cd_rip_action.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"

namespace noru::middleware {
namespace {

using disc::CDDiscInfo;
using disc::CDDrive;
namespace testing = disc::testing;
using platform::linux_cd::DeviceEventKind;
using platform::linux_cd::FullTocReply;
using platform::linux_cd::OpticalDevice;
namespace actions = state::CDRipActions;
using Actions = std::vector<state::AnyAction>;

const std::string kPathA = "/sys/devices/a/block/sr0";
const std::string kPathB = "/sys/devices/b/block/sr1";
const CDDiscInfo kDisc{{{1, 0, 4350}}, 4350};

OpticalDevice deviceA(const char* mediaState) {
  return {"Drive A", kPathA, mediaState, "sr0"};
}
OpticalDevice deviceB(const char* mediaState) {
  return {"Drive B", kPathB, mediaState, "sr1"};
}
CDDrive driveA(bool hasDisc) {
  return {kPathA, "Drive A", "sr0", hasDisc};
}
CDDrive driveB(bool hasDisc) {
  return {kPathB, "Drive B", "sr1", hasDisc};
}

state::AnyAction updated(std::vector<CDDrive> list) {
  return state::CDRipAction(actions::drivesUpdated{std::move(list)});
}
state::AnyAction inserted(CDDrive drive) {
  return state::CDRipAction(actions::discInserted{std::move(drive), kDisc});
}
state::AnyAction ejected(std::string id) {
  return state::CDRipAction(actions::discEjected{std::move(id)});
}

class CDDetectionServiceTest : public noru::testing::RuntimeFixture {
 protected:
  CDDetectionServiceTest() {
    drives->tocReplies["sr0"] = {
        FullTocReply::Outcome::ok,
        testing::fullToc({testing::audioTrack(1, 0, 2, 0), testing::leadOut(1, 0, 0)})};
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

TEST_F(CDDetectionServiceTest, StartReportsTheDrivesAndADiscAlreadyPresent) {
  EXPECT_EQ(start({deviceA("present"), deviceB("none")}),
            (Actions{updated({driveA(true), driveB(false)}), inserted(driveA(true))}));
  EXPECT_TRUE(service->lastPollHadDisc);
}

TEST_F(CDDetectionServiceTest, StartWithAnUnreadableDiscStillRemembersTheDisc) {
  drives->tocReplies["sr0"] = {FullTocReply::Outcome::noToc, {}};
  EXPECT_EQ(start({deviceA("present")}), Actions{updated({driveA(true)})});
  EXPECT_TRUE(service->lastPollHadDisc);
}

TEST_F(CDDetectionServiceTest, PollReportsEveryLoadedDriveOnEveryTick) {
  start({deviceA("present")});
  for (int tick = 0; tick < 2; ++tick) {
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(),
              (Actions{updated({driveA(true)}),
                       state::CDRipAction(actions::discInsertedIfNew{driveA(true), kDisc})}));
  }
  mainQueue.advanceBy(std::chrono::milliseconds(2999));
  EXPECT_TRUE(take().empty());
}

TEST_F(CDDetectionServiceTest, PollEjectsEveryDriveOnceAllHaveBecomeEmpty) {
  for (const char* stateOfB : {"present", "none"}) {
    start({deviceA("present"), deviceB(stateOfB)});
    drives->deviceList = std::vector{deviceA("none"), deviceB("none")};
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(),
              (Actions{updated({driveA(false), driveB(false)}), ejected(kPathA), ejected(kPathB)}))
        << "drive B " << stateOfB;
    EXPECT_FALSE(service->lastPollHadDisc);
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(), Actions{updated({driveA(false), driveB(false)})});
  }
}

TEST_F(CDDetectionServiceTest, StatusChangesReportInsertionAndEjection) {
  start({deviceA("none")});
  drives->deviceList = std::vector{deviceA("present")};
  drives->emit({DeviceEventKind::statusChanged, deviceA("present")});
  EXPECT_EQ(take(), (Actions{updated({driveA(true)}), inserted(driveA(true))}));

  // A medium still spinning up counts as gone until the drive says otherwise.
  drives->deviceList = std::vector{deviceA("notReady")};
  drives->emit({DeviceEventKind::statusChanged, deviceA("notReady")});
  EXPECT_EQ(take(), (Actions{updated({driveA(false)}), ejected(kPathA)}));
}

// Drives coming and going, and status changes of a drive that cannot be told: only the list.
TEST_F(CDDetectionServiceTest, OtherEventsOnlyUpdateTheList) {
  start({});
  drives->deviceList = std::vector{deviceA("none")};
  drives->emit({DeviceEventKind::appeared, deviceA("none")});
  drives->emit({DeviceEventKind::statusChanged, deviceB("present")});
  drives->emit({DeviceEventKind::statusChanged, OpticalDevice{}});
  drives->deviceList = std::vector<OpticalDevice>{};
  drives->emit({DeviceEventKind::disappeared, deviceA("none")});
  EXPECT_EQ(take(), (Actions{updated({driveA(false)}), updated({driveA(false)}),
                             updated({driveA(false)}), updated({})}));
}

// Starting again must not leave the earlier registration and poll behind to report twice.
TEST_F(CDDetectionServiceTest, StartingAgainReplacesTheEarlierRegistrations) {
  start({deviceA("none")});
  start({deviceA("none")});
  drives->emit({DeviceEventKind::appeared, deviceA("none")});
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(), (Actions{updated({driveA(false)}), updated({driveA(false)})}));
}

TEST_F(CDDetectionServiceTest, NothingIsReportedAfterStopOrOnceTheServiceIsGone) {
  auto eventsAndTicks = [this] {
    drives->emit({DeviceEventKind::statusChanged, deviceA("none")});
    drives->emit({DeviceEventKind::appeared, deviceB("none")});
    mainQueue.advanceBy(std::chrono::seconds(30));
    return take();
  };
  start({deviceA("present")});
  service->stop();
  EXPECT_TRUE(eventsAndTicks().empty());
  EXPECT_EQ(drives->activeSubscriptions(), 0u);
  EXPECT_EQ(mainQueue.activeTimerCount(), 0u);
  EXPECT_TRUE(service->lastPollHadDisc);

  start({deviceA("present")});
  std::weak_ptr<CDDetectionService> weak = service;
  service.reset();
  EXPECT_TRUE(weak.expired()) << "the callbacks hold the service";
  EXPECT_TRUE(eventsAndTicks().empty());
  EXPECT_EQ(drives->activeSubscriptions(), 0u);
}

}  // namespace
}  // namespace noru::middleware
