#include "disc/cd_detection_service.h"

#include <gtest/gtest.h>

#include "disc/toc_bytes.h"
#include "state/cd_rip_action.h"
#include "support/captured_log.h"
#include "support/fake_optical_drives.h"
#include "support/runtime_fixture.h"

namespace noru::disc {
namespace {

using platform::linux_cd::DeviceEvent;
using platform::linux_cd::DeviceEventKind;
using platform::linux_cd::FullTocReply;
using platform::linux_cd::OpticalDevice;
namespace actions = state::CDRipActions;

const std::string kPathA = "/sys/devices/a/block/sr0";
const std::string kPathB = "/sys/devices/b/block/sr1";

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

const CDDiscInfo kDisc{{{1, 0, 4350}}, 4350};

state::AnyAction rip(state::CDRipAction action) {
  return action;
}

class CDDetectionServiceTest : public noru::testing::RuntimeFixture {
 protected:
  CDDetectionServiceTest() {
    service->detectDrives.deviceList = drives;
    service->readDiscInfo.tocSource = drives;
    service->deviceEvents = drives;
    const auto toc = testing::fullToc({testing::audioTrack(1, 0, 2, 0), testing::leadOut(1, 0, 0)});
    drives->setTocReply("sr0", {FullTocReply::Outcome::ok, toc});
    drives->setTocReply("sr1", {FullTocReply::Outcome::ok, toc});
  }

  void start() {
    service->start([this](state::AnyAction action) { dispatched.push_back(std::move(action)); });
  }

  std::vector<state::AnyAction> take() { return std::exchange(dispatched, {}); }

  std::shared_ptr<noru::testing::FakeOpticalDrives> drives =
      std::make_shared<noru::testing::FakeOpticalDrives>();
  std::shared_ptr<CDDetectionService> service = CDDetectionService::create();
  std::vector<state::AnyAction> dispatched;
  noru::testing::CapturedLog log;
};

TEST_F(CDDetectionServiceTest, StartReportsTheDrivesAndADiscAlreadyPresent) {
  drives->setDevices(std::vector{deviceA("present"), deviceB("none")});
  start();
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(true), driveB(false)}}),
                                 rip(actions::discInserted{driveA(true), kDisc})}));
  EXPECT_TRUE(service->lastPollHadDisc);
  EXPECT_EQ(drives->activeSubscriptions(), 1u);
  EXPECT_EQ(mainQueue.activeTimerCount(), 1u);
  EXPECT_EQ(log.linesStartingWith("CDDetectionService"),
            (std::vector<std::string>{
                "CDDetectionService: disc already present in 'Drive A' \u2014 reading disc info",
                "CDDetectionService: started \u2014 watching 2 drive(s)"}));
}

TEST_F(CDDetectionServiceTest, StartWithAnUnreadableDiscStillRemembersTheDisc) {
  drives->setDevices(std::vector{deviceA("present")});
  drives->setTocReply("sr0", {FullTocReply::Outcome::noToc, {}});
  start();
  EXPECT_EQ(take(), std::vector{rip(actions::drivesUpdated{{driveA(true)}})});
  EXPECT_TRUE(log.contains("CDDetectionService: could not read disc info for 'Drive A'"));
  EXPECT_TRUE(service->lastPollHadDisc);
}

TEST_F(CDDetectionServiceTest, PollReportsEveryLoadedDriveOnEveryTick) {
  drives->setDevices(std::vector{deviceA("present")});
  start();
  take();
  for (int tick = 0; tick < 2; ++tick) {
    mainQueue.advanceBy(std::chrono::seconds(3));
    EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(true)}}),
                                   rip(actions::discInsertedIfNew{driveA(true), kDisc})}));
  }
  mainQueue.advanceBy(std::chrono::milliseconds(2999));
  EXPECT_TRUE(take().empty());
}

TEST_F(CDDetectionServiceTest, PollEjectsEveryDriveOnceAllHaveBecomeEmpty) {
  drives->setDevices(std::vector{deviceA("present"), deviceB("present")});
  start();
  take();
  drives->setDevices(std::vector{deviceA("none"), deviceB("none")});
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(),
            (std::vector{rip(actions::drivesUpdated{{driveA(false), driveB(false)}}),
                         rip(actions::discEjected{kPathA}), rip(actions::discEjected{kPathB})}));
  EXPECT_FALSE(service->lastPollHadDisc);
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(), std::vector{rip(actions::drivesUpdated{{driveA(false), driveB(false)}})});
}

TEST_F(CDDetectionServiceTest, PollEjectsEveryDriveWhenTheOnlyLoadedOneEmpties) {
  drives->setDevices(std::vector{deviceA("present"), deviceB("none")});
  start();
  take();
  drives->setDevices(std::vector{deviceA("none"), deviceB("none")});
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(),
            (std::vector{rip(actions::drivesUpdated{{driveA(false), driveB(false)}}),
                         rip(actions::discEjected{kPathA}), rip(actions::discEjected{kPathB})}));
}

TEST_F(CDDetectionServiceTest, StatusChangesReportInsertionAndEjection) {
  drives->setDevices(std::vector{deviceA("none")});
  start();
  take();

  drives->setDevices(std::vector{deviceA("present")});
  drives->emit({DeviceEventKind::statusChanged, deviceA("present")});
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(true)}}),
                                 rip(actions::discInserted{driveA(true), kDisc})}));

  drives->setDevices(std::vector{deviceA("trayOpen")});
  drives->emit({DeviceEventKind::statusChanged, deviceA("trayOpen")});
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(false)}}),
                                 rip(actions::discEjected{kPathA})}));

  // A medium still spinning up counts as gone until the drive says otherwise.
  drives->emit({DeviceEventKind::statusChanged, deviceA("notReady")});
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(false)}}),
                                 rip(actions::discEjected{kPathA})}));

  EXPECT_EQ(log.linesStartingWith("CDDetectionService: status change for"),
            (std::vector<std::string>{
                "CDDetectionService: status change for 'Drive A' \u2014 mediaState=present",
                "CDDetectionService: status change for 'Drive A' \u2014 mediaState=trayOpen",
                "CDDetectionService: status change for 'Drive A' \u2014 mediaState=notReady"}));
  EXPECT_TRUE(log.contains("CDDetectionService: disc inserted in 'Drive A' bsd=sr0"));
  EXPECT_EQ(log.linesStartingWith("CDDetectionService: disc ejected from 'Drive A'").size(), 2u);
}

TEST_F(CDDetectionServiceTest, StatusChangeOfAnUnknownDriveOnlyUpdatesTheList) {
  drives->setDevices(std::vector{deviceA("none")});
  start();
  take();
  drives->emit({DeviceEventKind::statusChanged, deviceB("present")});
  drives->emit({DeviceEventKind::statusChanged, OpticalDevice{}});
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(false)}}),
                                 rip(actions::drivesUpdated{{driveA(false)}})}));
  EXPECT_EQ(log.linesStartingWith("CDDetectionService: status change"),
            (std::vector<std::string>{
                "CDDetectionService: status change \u2014 could not identify drive (deviceId='" +
                    kPathB + "')",
                "CDDetectionService: status change \u2014 could not identify drive "
                "(deviceId='')"}));
}

TEST_F(CDDetectionServiceTest, DrivesComingAndGoingUpdateTheList) {
  start();
  take();
  drives->setDevices(std::vector{deviceA("none")});
  drives->emit({DeviceEventKind::appeared, deviceA("none")});
  drives->setDevices(std::vector<OpticalDevice>{});
  drives->emit({DeviceEventKind::disappeared, deviceA("none")});
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(false)}}),
                                 rip(actions::drivesUpdated{{}})}));
  EXPECT_EQ(log.linesStartingWith("CDDetectionService: drive list updated"),
            (std::vector<std::string>{"CDDetectionService: drive list updated \u2014 1 drive(s)",
                                      "CDDetectionService: drive list updated \u2014 0 drive(s)"}));
}

TEST_F(CDDetectionServiceTest, NothingIsReportedAfterStop) {
  drives->setDevices(std::vector{deviceA("present")});
  start();
  take();
  service->stop();
  drives->emit({DeviceEventKind::statusChanged, deviceA("none")});
  drives->emit({DeviceEventKind::appeared, deviceB("none")});
  mainQueue.advanceBy(std::chrono::seconds(30));
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(drives->activeSubscriptions(), 0u);
  EXPECT_EQ(mainQueue.activeTimerCount(), 0u);
  EXPECT_TRUE(service->lastPollHadDisc);
}

TEST_F(CDDetectionServiceTest, StartingAgainReplacesTheEarlierRegistrations) {
  drives->setDevices(std::vector{deviceA("none")});
  start();
  start();
  take();
  EXPECT_EQ(drives->activeSubscriptions(), 1u);
  EXPECT_EQ(mainQueue.activeTimerCount(), 1u);
  drives->emit({DeviceEventKind::appeared, deviceA("none")});
  mainQueue.advanceBy(std::chrono::seconds(3));
  EXPECT_EQ(take(), (std::vector{rip(actions::drivesUpdated{{driveA(false)}}),
                                 rip(actions::drivesUpdated{{driveA(false)}})}));
}

TEST_F(CDDetectionServiceTest, CallbacksDoNotKeepTheServiceAlive) {
  drives->setDevices(std::vector{deviceA("present")});
  start();
  take();
  std::weak_ptr<CDDetectionService> weak = service;
  service.reset();
  EXPECT_TRUE(weak.expired());
  drives->emit({DeviceEventKind::statusChanged, deviceA("none")});
  mainQueue.advanceBy(std::chrono::seconds(9));
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(drives->activeSubscriptions(), 0u);
}

}  // namespace
}  // namespace noru::disc
