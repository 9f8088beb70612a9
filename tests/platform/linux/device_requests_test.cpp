// The requests sent to a drive, checked byte for byte through scripted system calls, and the
// descriptor opened for each closed on every path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/cd_audio_read.h"
#include "platform/linux/eject_media.h"
#include "platform/linux/sg_full_toc.h"
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

TEST_F(DeviceRequestsTest, FullTocRequestIsReadTocWithATimeoutAndKeepsWhatArrived) {
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
}

TEST_F(DeviceRequestsTest, FullTocFailuresGiveNoToc) {
  using Outcome = FullTocReply::Outcome;
  calls.onIoctlPointer = [](int, unsigned long, void*) {
    errno = EIO;
    return -1;
  };
  EXPECT_EQ(readFullTocWithSgIo(calls, "sr0").outcome, Outcome::noToc);

  calls.onIoctlPointer = [](int, unsigned long, void* argument) {
    auto* header = static_cast<sg_io_hdr*>(argument);
    const std::uint8_t notReady[] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0};
    std::memcpy(header->sbp, notReady, sizeof notReady);
    header->sb_len_wr = sizeof notReady;
    header->status = 0x02;
    header->driver_status = 0x08;
    header->info = SG_INFO_CHECK;
    return 0;
  };
  EXPECT_EQ(readFullTocWithSgIo(calls, "sr0").outcome, Outcome::noToc);

  calls.onOpen = [](const char*, int) {
    errno = ENOENT;
    return -1;
  };
  EXPECT_EQ(readFullTocWithSgIo(calls, "sr7").outcome, Outcome::deviceUnavailable);
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

}  // namespace
}  // namespace noru::platform::linux_cd
