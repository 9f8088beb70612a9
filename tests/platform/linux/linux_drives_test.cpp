#include "platform/linux/linux_drives.h"

#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <deque>

#include "platform/linux/udev_enumeration.h"
#include "platform/linux/udev_monitor.h"
#include "support/captured_log.h"
#include "support/process_resources.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::linux_cd {
namespace {

UdevDeviceFacts blockDevice(std::string name, std::string devtype,
                            std::optional<std::string> cdromProperty,
                            std::optional<std::string> scsiType = std::nullopt) {
  UdevDeviceFacts facts;
  facts.syspath = "/sys/devices/x/block/" + name;
  facts.sysname = name;
  facts.devnode = "/dev/" + name;
  facts.devtype = std::move(devtype);
  facts.cdromProperty = std::move(cdromProperty);
  facts.scsiTypeAttribute = std::move(scsiType);
  facts.vendorAttribute = "Vendor";
  facts.modelAttribute = "Model " + name;
  return facts;
}

// A device event stream playing back its receipts: each is one packet on a socket pair, so the
// descriptor polls readable while any are left; one that hangs up has lost the pair's other end.
class ScriptedEventStream final : public DeviceEventStream {
 public:
  struct Counts {
    std::atomic<int> opened = 0;
    std::atomic<int> live = 0;
  };

  ScriptedEventStream(Counts& counts, std::deque<StreamReceipt> receipts, bool hangsUp)
      : counts_(counts), receipts_(std::move(receipts)) {
    int ends[2];
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends), 0);
    ours_ = ends[0];
    for (std::size_t i = 0; i < receipts_.size(); ++i) {
      EXPECT_EQ(::send(ends[1], "r", 1, 0), 1);
    }
    if (hangsUp) {
      ::close(ends[1]);
    } else {
      theirs_ = ends[1];
    }
    ++counts_.opened;
    ++counts_.live;
  }

  ~ScriptedEventStream() override {
    ::close(ours_);
    if (theirs_ >= 0) {
      ::close(theirs_);
    }
    --counts_.live;
  }

  int descriptor() const override { return ours_; }

  StreamReceipt receive() override {
    char packet;
    if (::recv(ours_, &packet, 1, 0) != 1 || receipts_.empty()) {
      return {};
    }
    auto next = std::move(receipts_.front());
    receipts_.pop_front();
    return next;
  }

 private:
  Counts& counts_;
  std::deque<StreamReceipt> receipts_;
  int ours_ = -1;
  int theirs_ = -1;
};

class LinuxDrivesTest : public noru::testing::RuntimeFixture {
 protected:
  LinuxDrivesTest() { drives.calls = &calls; }

  noru::testing::CapturedLog log;
  noru::testing::ScriptedSystemCalls calls;
  LinuxDrives drives;
};

TEST_F(LinuxDrivesTest, ListsOnlyOpticalDisksWithTheirMediaState) {
  drives.enumerateBlockDevices = [] {
    return std::vector{
        blockDevice("sda", "disk", "0", "0"), blockDevice("sr0", "disk", "1"),
        blockDevice("sr0p1", "partition", "1"), blockDevice("sr1", "disk", "1"),
        // Without a udev daemon there are no properties; the kernel's device type still tells.
        blockDevice("sr2", "disk", std::nullopt, "5\n"),
        blockDevice("sdb", "disk", std::nullopt, "0"), blockDevice("sr3", "disk", "1"),
        blockDevice("sr4", "disk", "1")};
  };
  // sr0 and sr2 have their trays open, sr1 holds a disc; sr3 does not answer and sr4 cannot
  // be opened: no media state for them.
  calls.onOpen = [](const char* path, int) {
    errno = EACCES;
    return path[7] == '4' ? -1 : 900 + (path[7] - '0');
  };
  calls.onIoctlValue = [](int descriptor, unsigned long request, long argument) {
    if (request != CDROM_DRIVE_STATUS || argument != CDSL_CURRENT || descriptor == 903) {
      return -1;
    }
    return descriptor == 901 ? CDS_DISC_OK : CDS_TRAY_OPEN;
  };
  auto device = [](const char* name, std::optional<std::string> mediaState) {
    return OpticalDevice{std::string("Vendor Model ") + name,
                         std::string("/sys/devices/x/block/") + name, std::move(mediaState), name};
  };
  EXPECT_EQ(drives.devices(),
            (std::vector<OpticalDevice>{device("sr0", kMediaTrayOpen), device("sr1", kMediaPresent),
                                        device("sr2", kMediaTrayOpen), device("sr3", std::nullopt),
                                        device("sr4", std::nullopt)}));
  EXPECT_EQ(calls.opened(), 4);
  EXPECT_TRUE(calls.stillOpen().empty());

  drives.enumerateBlockDevices = [] { return std::nullopt; };
  EXPECT_EQ(drives.devices(), std::nullopt);
}

TEST_F(LinuxDrivesTest, NamesThatLeaveDevAreNeverOpened) {
  errno = 0;
  EXPECT_EQ(drives.open("../../etc/passwd"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(drives.eject(OpticalDevice{"x", "y", kMediaPresent, "sr0/.."}));
  EXPECT_FALSE(drives.eject(OpticalDevice{}));
  for (const char* name : {"..", "", "../sda"}) {
    EXPECT_EQ(drives.readFullToc(name).outcome, FullTocReply::Outcome::invalidDeviceName);
  }
  EXPECT_EQ(calls.opened(), 0);
}

// The real libudev on this machine: listing works with or without a udev daemon, and a
// monitor that is started and stopped leaves no thread and no descriptor behind.
TEST_F(LinuxDrivesTest, RealUdevListsAndMonitorsWithoutLeaking) {
  const auto devices = enumerateBlockDevices();
  ASSERT_TRUE(devices.has_value());
  for (const auto& facts : *devices) {
    EXPECT_FALSE(facts.syspath.empty());
  }

  // A first round lets sanitizer runtimes start the helper threads they keep for good.
  watchUdevEvents(calls, [](const DeviceEvent&) {}).reset();
  const auto descriptorsBefore = noru::testing::openFileDescriptorCount();
  const auto threadsBefore = noru::testing::liveThreadCount();
  for (int round = 0; round < 3; ++round) {
    auto subscription = watchUdevEvents(calls, [](const DeviceEvent&) {});
    ASSERT_NE(subscription, nullptr);
    subscription.reset();
    EXPECT_EQ(noru::testing::openFileDescriptorCount(), descriptorsBefore);
    EXPECT_EQ(noru::testing::liveThreadCount(), threadsBefore);
  }
  mainQueue.runPending();
}

TEST_F(LinuxDrivesTest, BrokenEventStreamIsOpenedAgainAndEventsFlowOn) {
  auto gone = blockDevice("sr0", "disk", "1");
  gone.action = "remove";
  const std::vector expected{
      DeviceEvent{DeviceEventKind::disappeared, describeOpticalDevice(gone, std::nullopt)}};
  const struct {
    const char* breakage;
    std::deque<StreamReceipt> receipts;
    bool hangsUp;
  } cases[] = {
      {"receive fails", {{std::nullopt, ENOBUFS}}, false},
      {"socket hangs up", {}, true},
  };
  for (const auto& [breakage, receipts, hangsUp] : cases) {
    ScriptedEventStream::Counts counts;
    std::vector<DeviceEvent> events;
    const auto descriptorsBefore = noru::testing::openFileDescriptorCount();
    auto subscription = watchDeviceEventStream(
        calls, [&](const DeviceEvent& event) { events.push_back(event); },
        [&]() -> std::unique_ptr<DeviceEventStream> {
          if (counts.opened == 0) {
            return std::make_unique<ScriptedEventStream>(counts, receipts, hangsUp);
          }
          return std::make_unique<ScriptedEventStream>(counts, std::deque{StreamReceipt{gone}},
                                                       false);
        },
        {std::chrono::milliseconds(1), std::chrono::milliseconds(1)});
    EXPECT_TRUE(mainQueue.runUntil([&] { return !events.empty(); })) << breakage;
    subscription.reset();
    EXPECT_EQ(counts.opened, 2) << breakage;
    EXPECT_EQ(events, expected) << breakage;
    EXPECT_EQ(noru::testing::openFileDescriptorCount(), descriptorsBefore) << breakage;
  }
  EXPECT_FALSE(log.linesStartingWith("UdevMonitor:").empty());
}

TEST_F(LinuxDrivesTest, WatchEndsAtOnceDuringABackoffWait) {
  ScriptedEventStream::Counts streams;
  const auto descriptorsBefore = noru::testing::openFileDescriptorCount();
  auto subscription = watchDeviceEventStream(
      calls, [](const DeviceEvent&) {},
      [&] {
        return std::make_unique<ScriptedEventStream>(streams, std::deque<StreamReceipt>{}, true);
      },
      {std::chrono::hours(1), std::chrono::hours(1)});
  // The broken stream is closed just before the wait begins.
  ASSERT_TRUE(mainQueue.runUntil([&] { return streams.live == 0; }));
  subscription.reset();
  EXPECT_EQ(streams.opened, 1);
  EXPECT_EQ(noru::testing::openFileDescriptorCount(), descriptorsBefore);
}

}  // namespace
}  // namespace noru::platform::linux_cd
