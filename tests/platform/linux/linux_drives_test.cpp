// The Linux drives through scripted system calls (requests byte for byte, every descriptor
// closed on every path), udev's facts, and its event stream reopened with a back-off.
#include "platform/linux/linux_drives.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <scsi/sg.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <deque>

#include "platform/linux/cd_audio_read.h"
#include "platform/linux/eject_media.h"
#include "platform/linux/sg_full_toc.h"
#include "platform/linux/sg_read_cd.h"
#include "platform/linux/udev_device_facts.h"
#include "platform/linux/udev_monitor.h"
#include "support/process_resources.h"
#include "support/runtime_fixture.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::linux_cd {
namespace {

constexpr int kDescriptor = 900;

class DeviceRequestsTest : public ::testing::Test {
 protected:
  DeviceRequestsTest() {
    calls.onOpen = [this](const char* path, int flags) {
      opened.emplace_back(path, flags);
      return kDescriptor;
    };
  }

  void TearDown() override {
    EXPECT_EQ(calls.opened(), calls.closed());
    EXPECT_TRUE(calls.stillOpen().empty());
  }

  noru::testing::ScriptedSystemCalls calls;
  std::vector<std::pair<std::string, int>> opened;  // path and flags
};

TEST(SgCommand, OnlyCleanOrHarmlessCompletionsDeliverData) {
  const struct {
    const char* what;
    unsigned info;
    unsigned char status;
    unsigned short host, driver;
    std::vector<std::uint8_t> sense;
    bool succeeded;
  } cases[] = {
      {"clean", SG_INFO_OK, 0, 0, 0, {}, true},
      {"recovered error", SG_INFO_CHECK, 0x02, 0, 0x08, {0x70, 0, 0x01}, true},
      {"recovered error, descriptor format", SG_INFO_CHECK, 0x02, 0, 0x08, {0x72, 0x01}, true},
      {"no disc (not ready)", SG_INFO_CHECK, 0x02, 0, 0x08, {0x70, 0, 0x02, 0, 0, 0, 0, 10}, false},
      {"illegal request, descriptor format", SG_INFO_CHECK, 0x02, 0, 0x08, {0x72, 0x05}, false},
      {"sense too short to tell", SG_INFO_CHECK, 0x02, 0, 0x08, {0x70, 0}, false},
      {"sense of an unknown format", SG_INFO_CHECK, 0x02, 0, 0x08, {0x7F, 0x00, 0x00}, false},
      {"check condition without sense", SG_INFO_CHECK, 0x02, 0, 0, {}, false},
      {"command timed out", SG_INFO_CHECK, 0, 0x03, 0, {}, false},
      {"driver timeout", SG_INFO_CHECK, 0, 0, 0x06, {}, false},
      {"busy", SG_INFO_CHECK, 0x08, 0, 0, {}, false},
  };
  for (const auto& c : cases) {
    sg_io_hdr header{};
    header.info = c.info;
    header.status = c.status;
    header.host_status = c.host;
    header.driver_status = c.driver;
    EXPECT_EQ(sgCommandSucceeded(header, c.sense), c.succeeded) << c.what;
  }
}

TEST_F(DeviceRequestsTest, FullTocIsReadTocWithATimeoutKeepsWhatArrivedAndFailsAsNoToc) {
  sg_io_hdr seen{};
  std::vector<std::uint8_t> command;
  int received = 40;
  calls.onIoctlPointer = [&](int descriptor, unsigned long request, void* argument) {
    EXPECT_EQ(descriptor, kDescriptor);
    EXPECT_EQ(request, static_cast<unsigned long>(SG_IO));
    auto* header = static_cast<sg_io_hdr*>(argument);
    seen = *header;
    command.assign(header->cmdp, header->cmdp + header->cmd_len);
    const std::uint8_t toc[] = {0, 13, 1, 1, 1, 0x10, 0, 1, 0, 0, 0, 0, 0, 2, 0};
    std::copy(std::begin(toc), std::end(toc), static_cast<std::uint8_t*>(header->dxferp));
    header->resid = static_cast<int>(header->dxfer_len) - received;
    return 0;
  };

  const auto reply = readFullTocWithSgIo(calls, "sr0", std::chrono::milliseconds(7000));
  EXPECT_EQ(reply.outcome, FullTocReply::Outcome::ok);
  EXPECT_EQ(reply.bytes.size(), 15u) << "the length the reply declares";
  // READ TOC/PMA/ATIP, MSF, format 0010b (full TOC), session 1, allocation length 0xFFFF.
  EXPECT_EQ(command, (std::vector<std::uint8_t>{0x43, 0x02, 0x02, 0, 0, 0, 1, 0xFF, 0xFF, 0}));
  EXPECT_EQ(seen.interface_id, 'S');
  EXPECT_EQ(seen.dxfer_direction, SG_DXFER_FROM_DEV);
  EXPECT_EQ(seen.dxfer_len, 0xFFFFu);
  EXPECT_EQ(seen.timeout, 7000u);
  EXPECT_GE(seen.mx_sb_len, 18);
  EXPECT_NE(seen.sbp, nullptr);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].first, "/dev/sr0");
  EXPECT_EQ(opened[0].second & (O_ACCMODE | O_NONBLOCK), O_RDONLY | O_NONBLOCK);

  received = 10;  // fewer bytes than the reply declares
  EXPECT_EQ(readFullTocWithSgIo(calls, "sr0").bytes.size(), 10u);

  // A failed ioctl, a command that timed out and a drive that does not open give no TOC.
  for (const bool ioctlFails : {true, false}) {
    calls.onIoctlPointer = [=](int, unsigned long, void* argument) {
      errno = EIO;
      // A failed ioctl leaves the header clean; a command that ran reports a timeout.
      static_cast<sg_io_hdr*>(argument)->info = ioctlFails ? SG_INFO_OK : SG_INFO_CHECK;
      static_cast<sg_io_hdr*>(argument)->host_status = ioctlFails ? 0 : 0x03;
      return ioctlFails ? -1 : 0;
    };
    EXPECT_EQ(readFullTocWithSgIo(calls, "sr0").outcome, FullTocReply::Outcome::noToc);
  }
  calls.onOpen = [](const char*, int) {
    errno = ENOENT;
    return -1;
  };
  EXPECT_EQ(readFullTocWithSgIo(calls, "sr7").outcome, FullTocReply::Outcome::deviceUnavailable);
}

TEST_F(DeviceRequestsTest, AudioReadAsksForLogicalBlocks) {
  cdrom_read_audio seen{};
  calls.onIoctlPointer = [&](int, unsigned long request, void* argument) {
    EXPECT_EQ(request, static_cast<unsigned long>(CDROMREADAUDIO));
    seen = *static_cast<cdrom_read_audio*>(argument);
    return 0;
  };
  std::vector<std::uint8_t> buffer(75 * 2352);
  EXPECT_EQ(readAudioSectors(calls, kDescriptor, 1075, 75, buffer.data()), 0);
  EXPECT_EQ(seen.addr.lba, 1075);
  EXPECT_EQ(seen.addr_format, CDROM_LBA);
  EXPECT_EQ(seen.nframes, 75);
  EXPECT_EQ(seen.buf, buffer.data());

  for (int sectors : {0, 76}) {
    errno = 0;
    EXPECT_EQ(readAudioSectors(calls, kDescriptor, 0, sectors, buffer.data()), -1);
    EXPECT_EQ(errno, EINVAL);
  }
}

// A READ CD reply of two sectors whose error pointers flag byte 5 of the first (its sample 1)
// and bytes 8 and 2351 of the second (its samples 2 and 587). `trailer` (294 or 296 bytes,
// block-error byte first or last, or 0 for none) follows each sector's audio.
std::vector<std::uint8_t> readCdReply(int trailer, bool blockErrorFirst, bool blockErrorRight) {
  std::vector<std::uint8_t> reply;
  for (const std::vector<int>& flagged : {std::vector{5}, std::vector{8, 2351}}) {
    for (int byte = 0; byte < 2352; ++byte) {
      reply.push_back(static_cast<std::uint8_t>(byte * 7 + (flagged.size() - 1)));
    }
    std::vector<std::uint8_t> pointers(294);
    for (int byte : flagged) {
      pointers[byte / 8] |= static_cast<std::uint8_t>(0x80 >> (byte % 8));
    }
    const std::uint8_t blockError = blockErrorRight ? (flagged.size() == 1 ? 0x04 : 0x81) : 0;
    const std::vector<std::uint8_t> extra = {blockError, std::uint8_t(blockErrorRight ? 0xA5 : 0)};
    pointers.insert(blockErrorFirst ? pointers.begin() : pointers.end(), extra.begin(),
                    extra.begin() + std::max(trailer - 294, 0));
    reply.insert(reply.end(), pointers.begin(), trailer == 0 ? pointers.begin() : pointers.end());
  }
  return reply;
}

TEST_F(DeviceRequestsTest, ReadCdSplitsAudioFromEachLayoutOfErrorPointersIntoSampleFlags) {
  const struct {
    C2Mode mode;
    std::uint8_t fields;  // byte 9: user data and error pointers
    int trailer;
    bool blockErrorFirst, blockErrorRight;
    std::vector<int> flaggedSamples;
  } cases[] = {
      {C2Mode::bits294, 0x12, 294, false, true, {1, 590, 1175}},
      {C2Mode::bits296, 0x14, 296, true, true, {1, 590, 1175}},
      {C2Mode::bits296, 0x14, 296, false, true, {1, 590, 1175}},
      // A block-error byte that fits neither placement: both readings count.
      {C2Mode::bits296, 0x14, 296, false, false, {1, 590, 1171, 1175}},
      {C2Mode::none, 0x10, 0, false, true, {}},
  };
  const auto audio = readCdReply(0, false, true);
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fields));
    const auto reply = readCdReply(c.trailer, c.blockErrorFirst, c.blockErrorRight);
    std::vector<std::uint8_t> command;
    calls.onIoctlPointer = [&](int, unsigned long request, void* argument) {
      errno = ENOTTY;  // no queue limit to keep to
      if (request != SG_IO) {
        return -1;
      }
      auto* header = static_cast<sg_io_hdr*>(argument);
      command.assign(header->cmdp, header->cmdp + header->cmd_len);
      std::ranges::copy(reply, static_cast<std::uint8_t*>(header->dxferp));
      return 0;
    };
    std::vector<std::uint8_t> buffer(2 * 2352), flagged(2 * 588, 0xEE);
    EXPECT_EQ(
        readAudioWithSgIo(calls, kDescriptor, 0x012345, 2, buffer.data(), flagged.data(), c.mode)
            .outcome,
        ReadCdResult::Outcome::read);
    EXPECT_EQ(command, (std::vector<std::uint8_t>{0xBE, 0x04, 0, 0x01, 0x23, 0x45, 0, 0, 2,
                                                  c.fields, 0, 0}));
    EXPECT_EQ(buffer, audio);
    std::vector<int> flaggedSamples;
    for (int sample = 0; sample < 2 * 588; ++sample) {
      flaggedSamples.insert(flaggedSamples.end(), flagged[sample] != 0 ? 1 : 0, sample);
    }
    EXPECT_EQ(flaggedSamples, c.flaggedSamples);
  }

  // A queue that moves 240 blocks at once takes 75 sectors with pointers in two commands; a
  // reply short of what was asked for fails, and so do more sectors than a read may ask for.
  std::vector<std::pair<int, int>> commands;  // first sector, sectors
  calls.onIoctlPointer = [&](int, unsigned long request, void* argument) {
    if (request == BLKSECTGET) {
      *static_cast<unsigned short*>(argument) = 240;
      return 0;
    }
    auto* header = static_cast<sg_io_hdr*>(argument);
    commands.emplace_back(header->cmdp[5], header->cmdp[8]);
    header->resid = commands.size() > 2 ? 1 : 0;
    return 0;
  };
  std::vector<std::uint8_t> buffer(76 * 2352), flagged(76 * 588);
  const auto read = [&](int sectors) {
    return readAudioWithSgIo(calls, kDescriptor, 0, sectors, buffer.data(), flagged.data(),
                             C2Mode::bits296);
  };
  EXPECT_EQ(read(75).outcome, ReadCdResult::Outcome::read);
  EXPECT_EQ(commands, (std::vector<std::pair<int, int>>{{0, 46}, {46, 29}}));
  EXPECT_EQ(read(75).error, EIO);
  EXPECT_EQ(read(76).error, EINVAL);
}

TEST_F(DeviceRequestsTest, EjectUnlocksTheDoorThenEjects) {
  std::vector<std::pair<unsigned long, long>> requests;
  calls.onIoctlValue = [&](int, unsigned long request, long argument) {
    requests.emplace_back(request, argument);
    return request == CDROMEJECT && requests.size() > 2 ? -1 : 0;
  };
  EXPECT_TRUE(ejectMedia(calls, "sr1"));
  EXPECT_EQ(requests,
            (std::vector<std::pair<unsigned long, long>>{{CDROM_LOCKDOOR, 0}, {CDROMEJECT, 0}}));
  EXPECT_EQ(opened[0].first, "/dev/sr1");
  EXPECT_FALSE(ejectMedia(calls, "sr1")) << "the eject itself failed";
}

UdevDeviceFacts blockDevice(std::string name, std::string devtype,
                            std::optional<std::string> cdromProperty,
                            std::optional<std::string> scsiType = std::nullopt) {
  return {.syspath = "/sys/devices/x/block/" + name,
          .sysname = name,
          .devnode = "/dev/" + name,
          .devtype = std::move(devtype),
          .cdromProperty = std::move(cdromProperty),
          .vendorAttribute = "Vendor",
          .modelAttribute = "Model " + name,
          .scsiTypeAttribute = std::move(scsiType)};
}

// A device event stream playing back its receipts: each is one packet on a socket pair, so the
// descriptor polls readable while any are left; one that hangs up has lost the pair's other end.
class ScriptedEventStream final : public DeviceEventStream {
 public:
  struct Counts {
    std::atomic<int> opened = 0, live = 0;
  };

  ScriptedEventStream(Counts& counts, std::deque<StreamReceipt> receipts, bool hangsUp)
      : counts_(counts), receipts_(std::move(receipts)) {
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends_), 0);
    for (std::size_t i = 0; i < receipts_.size(); ++i) {
      EXPECT_EQ(::send(ends_[1], "r", 1, 0), 1);
    }
    if (hangsUp) {
      ::close(std::exchange(ends_[1], -1));
    }
    ++counts_.opened;
    ++counts_.live;
  }
  ~ScriptedEventStream() override {
    ::close(ends_[0]);
    ::close(ends_[1]);  // nothing when it hung up
    --counts_.live;
  }

  int descriptor() const override { return ends_[0]; }
  StreamReceipt receive() override {
    char packet;
    if (::recv(ends_[0], &packet, 1, 0) != 1 || receipts_.empty()) {
      return {};
    }
    auto next = std::move(receipts_.front());
    receipts_.pop_front();
    return next;
  }

 private:
  Counts& counts_;
  std::deque<StreamReceipt> receipts_;
  int ends_[2] = {-1, -1};
};

class LinuxDrivesTest : public noru::testing::RuntimeFixture {
 protected:
  LinuxDrivesTest() { drives.calls = &calls; }

  noru::testing::ScriptedSystemCalls calls;
  LinuxDrives drives;
};

TEST_F(LinuxDrivesTest, ListsOnlyOpticalDisksWithTheirMediaStateAndOpensOnlyNamesInDev) {
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
                         std::string("/sys/devices/x/block/") + name,
                         std::move(mediaState),
                         name,
                         "Vendor",
                         std::string("Model ") + name};
  };
  EXPECT_EQ(drives.devices(),
            (std::vector<OpticalDevice>{device("sr0", kMediaTrayOpen), device("sr1", kMediaPresent),
                                        device("sr2", kMediaTrayOpen), device("sr3", std::nullopt),
                                        device("sr4", std::nullopt)}));
  EXPECT_EQ(calls.opened(), 4);
  EXPECT_TRUE(calls.stillOpen().empty());

  drives.enumerateBlockDevices = [] { return std::nullopt; };
  EXPECT_EQ(drives.devices(), std::nullopt);

  // Names that would leave /dev are never opened.
  EXPECT_EQ(drives.open("../../etc/passwd"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(drives.eject(OpticalDevice{"x", "y", kMediaPresent, "sr0/.."}));
  EXPECT_FALSE(drives.eject(OpticalDevice{}));
  for (const char* name : {"..", "", "../sda"}) {
    EXPECT_EQ(drives.readFullToc(name).outcome, FullTocReply::Outcome::invalidDeviceName);
  }
  EXPECT_EQ(calls.opened(), 4);
}

TEST_F(LinuxDrivesTest, FlaggedReadsFindOutOnceWhichErrorPointersEachDriveTakes) {
  // Fixed-format sense of ILLEGAL REQUEST with "invalid field" and "address out of range", and
  // descriptor-format sense of NOT READY with "medium not present".
  const std::vector<std::uint8_t> refused = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x24};
  const std::vector<std::uint8_t> pastTheEnd = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x21};
  const std::vector<std::uint8_t> noDisc = {0x72, 0x02, 0x3A};
  const struct {
    int accepted;  // the byte 9 the drive takes; others get `sense`
    std::vector<std::uint8_t> sense;
    int sgIoError;
    std::vector<std::vector<int>> asked;  // the byte 9 of each READ CD sent, by read
    C2Mode pointers;
    int kernelReads, error;
  } cases[] = {
      {0x14, refused, 0, {{0x12, 0x14}, {0x14}}, C2Mode::bits296, 0, 0},
      {-1, refused, 0, {{0x12, 0x14, 0x10}, {}}, C2Mode::none, 2, 0},  // takes no READ CD
      {-1, {}, ENOTTY, {{0x12}, {}}, C2Mode::none, 2, 0},              // takes no SG_IO
      {-1, noDisc, 0, {{0x12}, {0x12}}, C2Mode::none, 0, ENOMEDIUM},
      {-1, pastTheEnd, 0, {{0x12}, {0x12}}, C2Mode::none, 0, EIO},
  };
  calls.onOpen = [](const char*, int) { return kDescriptor; };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.accepted + c.sgIoError + c.error);
    LinuxDrives fresh;
    fresh.calls = &calls;
    std::vector<std::vector<int>> asked;
    int kernelReads = 0;
    calls.onIoctlPointer = [&](int, unsigned long request, void* argument) {
      if (request == CDROMREADAUDIO) {
        ++kernelReads;
        return 0;
      }
      auto& header = *static_cast<sg_io_hdr*>(argument);
      if (request == SG_IO) {
        asked.back().push_back(header.cmdp[9]);
      }
      if (request != SG_IO || c.sgIoError != 0) {
        errno = request == SG_IO ? c.sgIoError : ENOTTY;  // ENOTTY: no queue limit to keep to
        return -1;
      }
      if (header.cmdp[9] != c.accepted) {
        header.info = SG_INFO_CHECK;
        header.status = 0x02;
        header.driver_status = 0x08;
        header.sb_len_wr = static_cast<unsigned char>(c.sense.size());
        std::ranges::copy(c.sense, header.sbp);
      }
      return 0;
    };
    const int descriptor = fresh.open("sr0");
    for (int read = 0; read < 2; ++read) {
      asked.emplace_back();
      std::vector<std::uint8_t> buffer(2352), flagged(588, 0xEE);
      const int result = fresh.readAudioFlagged(descriptor, 0, 1, buffer.data(), flagged.data());
      EXPECT_EQ(result == 0 ? 0 : errno, c.error);
      EXPECT_TRUE(result != 0 || std::ranges::count(flagged, 0) == 588);
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(kernelReads, c.kernelReads);
    EXPECT_EQ(fresh.errorPointers(descriptor), c.pointers);
    fresh.close(descriptor);
  }
  EXPECT_TRUE(calls.stillOpen().empty());
}

TEST_F(LinuxDrivesTest, ABrokenEventStreamIsOpenedAgainAfterABackoffThatAStopCutsShort) {
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

  // The watch ends at once during a back-off wait; the broken stream is closed before it.
  ScriptedEventStream::Counts streams;
  const auto descriptorsBefore = noru::testing::openFileDescriptorCount();
  auto subscription = watchDeviceEventStream(
      calls, [](const DeviceEvent&) {},
      [&] {
        return std::make_unique<ScriptedEventStream>(streams, std::deque<StreamReceipt>{}, true);
      },
      {std::chrono::hours(1), std::chrono::hours(1)});
  ASSERT_TRUE(mainQueue.runUntil([&] { return streams.live == 0; }));
  subscription.reset();
  EXPECT_EQ(streams.opened, 1);
  EXPECT_EQ(noru::testing::openFileDescriptorCount(), descriptorsBefore);
}

TEST(UdevDeviceFacts, ProductNameJoinsTrimmedVendorAndModelAndTheNodeFollowsTheKernelName) {
  using Text = std::optional<std::string>;
  // Vendor and model attributes, vendor and model properties, and the product name.
  const std::array<Text, 5> cases[] = {
      {"HL-DT-ST", "DVDRAM GH24NSD1 ", "HL-DT-ST", "DVDRAM_GH24NSD1", "HL-DT-ST DVDRAM GH24NSD1"},
      {std::nullopt, std::nullopt, "ASUS", "DRW-24D5MT", "ASUS DRW-24D5MT"},
      {"   ", "BD-RE  BH16NS40", "HL-DT-ST", std::nullopt, "HL-DT-ST BD-RE  BH16NS40"},
      {std::nullopt, "  Slim Drive ", std::nullopt, std::nullopt, "Slim Drive"},
      {"  ", "\t", std::nullopt, " ", std::nullopt},
  };
  auto facts = blockDevice("sr0", "disk", "1");
  for (const auto& [vendorAttribute, modelAttribute, vendorProperty, modelProperty, name] : cases) {
    std::tie(facts.vendorAttribute, facts.modelAttribute, facts.vendorProperty,
             facts.modelProperty) =
        std::tie(vendorAttribute, modelAttribute, vendorProperty, modelProperty);
    EXPECT_EQ(productNameOf(facts), name);
  }

  EXPECT_EQ(deviceNodeOf(facts), "/dev/sr0");
  facts.devnode.clear();
  facts.sysname = "sr1";
  EXPECT_EQ(deviceNodeOf(facts), "/dev/sr1");
  facts.sysname = "..";
  EXPECT_EQ(deviceNodeOf(facts), "");
}

TEST(UdevDeviceFacts, MonitorEventsOfOpticalDrivesBecomeDriveEvents) {
  noru::testing::ScriptedSystemCalls calls;
  calls.onOpen = [](const char*, int) { return 900; };
  calls.onIoctlValue = [](int, unsigned long, long) { return CDS_DISC_OK; };
  const struct {
    const char *action, *cdrom;
    std::optional<DeviceEventKind> kind;
    std::optional<std::string> mediaState;  // a drive that has gone is not asked
  } cases[] = {
      {"add", "1", DeviceEventKind::appeared, "present"},
      {"change", "1", DeviceEventKind::statusChanged, "present"},
      {"remove", "1", DeviceEventKind::disappeared, std::nullopt},
      {"move", "1", std::nullopt, std::nullopt},
      {"change", "0", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto facts = blockDevice("sr0", "disk", c.cdrom);
    facts.action = c.action;
    const auto expected =
        c.kind ? std::optional(DeviceEvent{*c.kind, describeOpticalDevice(facts, c.mediaState)})
               : std::nullopt;
    EXPECT_EQ(deviceEventFor(facts, calls), expected) << c.action << c.cdrom;
  }
  EXPECT_EQ(calls.opened(), 2);
  EXPECT_TRUE(calls.stillOpen().empty());
}

}  // namespace
}  // namespace noru::platform::linux_cd
