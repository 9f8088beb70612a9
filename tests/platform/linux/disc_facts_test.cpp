// What a disc says of itself, read from a drive through scripted system calls: CD-Text packs
// built here as a disc's lead-in holds them, the barcode and the ISRCs of the Q sub-channel.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/cd_text_packs.h"
#include "platform/linux/sg_disc_facts.h"
#include "support/cd_text_writer.h"
#include "support/scripted_system_calls.h"

namespace noru::platform::linux_cd {

namespace {

constexpr int kDescriptor = 900;

class DiscFactsTest : public ::testing::Test {
 protected:
  DiscFactsTest() {
    calls.onOpen = [](const char*, int) { return kDescriptor; };
    calls.onIoctlPointer = [this](int, unsigned long request, void* argument) {
      auto* header = static_cast<sg_io_hdr*>(argument);
      EXPECT_EQ(request, static_cast<unsigned long>(SG_IO));
      const std::vector<std::uint8_t> command(header->cmdp, header->cmdp + header->cmd_len);
      const auto answer = answerTo(command);
      if (!answer) {
        header->info = SG_INFO_CHECK;
        header->status = 0x02;
        return 0;
      }
      const std::size_t size = std::min<std::size_t>(answer->size(), header->dxfer_len);
      std::memcpy(header->dxferp, answer->data(), size);
      header->resid = static_cast<int>(header->dxfer_len - size);
      return 0;
    };
  }

  void TearDown() override { EXPECT_TRUE(calls.stillOpen().empty()); }

  std::optional<std::vector<std::uint8_t>> answerTo(const std::vector<std::uint8_t>& command) {
    const auto cdTextRequest = cdTextCommand();
    if (std::ranges::equal(command, cdTextRequest)) {
      if (!cdText) {
        return std::nullopt;
      }
      std::vector<std::uint8_t> answer{0, 0, 0, 0};
      for (const auto& pack : *cdText) {
        answer.insert(answer.end(), pack.begin(), pack.end());
      }
      answer[0] = static_cast<std::uint8_t>((answer.size() - 2) >> 8);
      answer[1] = static_cast<std::uint8_t>((answer.size() - 2) & 0xFF);
      return answer;
    }
    const auto found = subChannel.find({command[3], command[6]});
    if (command[0] != 0x42 || command[2] != 0x40 || found == subChannel.end()) {
      return std::nullopt;
    }
    // Header, format code, 3 bytes (ADR/control, track, reserved), the valid bit, the number.
    std::vector<std::uint8_t> answer{
        0,          0x15,       0,
        20,         command[3], 0,
        command[6], 0,          static_cast<std::uint8_t>(found->second.first ? 0x80 : 0)};
    answer.insert(answer.end(), found->second.second.begin(), found->second.second.end());
    answer.resize(24, 0);
    return answer;
  }

  noru::testing::ScriptedSystemCalls calls;
  std::optional<std::vector<std::vector<std::uint8_t>>> cdText;
  // By format and track: whether the drive says the number is valid, and its characters.
  std::map<std::pair<std::uint8_t, std::uint8_t>, std::pair<bool, std::string>> subChannel;
};

TEST_F(DiscFactsTest, CDTextIsDecodedFromTheIntactPacksOfTheFirstBlock) {
  // The well-known check value of CRC-16/XMODEM, inverted as packs store it.
  const std::string check = "123456789";
  EXPECT_EQ(cdTextCRC(std::vector<std::uint8_t>(check.begin(), check.end())), 0xFFFF ^ 0x31C3);

  // Block 0 in ISO-8859-1; block 1, in MS-JIS, is another language of the same disc.
  using noru::testing::cdTextBlock;
  const auto english =
      cdTextBlock(0, 0x00, false,
                  {{0x80, {"Caf\xE9 Songs", "Intro", "A Much Longer Second Title", "Third"}},
                   {0x81, {"The Band", "\t", "Guest \xC5s", "The Band"}}},
                  true);
  const auto japanese = cdTextBlock(
      1, 0x80, true, {{0x80, {"\x93\xFA\x96\x7B", "\x88\xEA", "\x93\xF1", "\x8E\x4F"}}}, true);

  const CDText whole{.albumTitle = "Café Songs",
                     .albumPerformer = "The Band",
                     .trackTitles = {{1, "Intro"}, {2, "A Much Longer Second Title"}, {3, "Third"}},
                     .trackPerformers = {{1, "The Band"}, {2, "Guest Ås"}, {3, "The Band"}}};
  auto corrupt = english;
  corrupt[2][7] ^= 0x20;  // a title pack within the second track's title
  auto withoutSize = english;
  withoutSize.pop_back();
  const struct {
    const char* what;
    std::optional<std::vector<std::vector<std::uint8_t>>> packs;
    CDText text;
  } cases[] = {
      {"two blocks",
       [&] {
         auto both = english;
         both.insert(both.end(), japanese.begin(), japanese.end());
         return both;
       }(),
       whole},
      {"a pack whose CRC fails: the texts it touches are left out", corrupt,
       [&] {
         auto text = whole;
         text.trackTitles.erase(2);
         return text;
       }()},
      {"no size information: ISO-8859-1", withoutSize, whole},
      {"only the MS-JIS block",
       japanese,
       {.albumTitle = "日本", .trackTitles = {{1, "一"}, {2, "二"}, {3, "三"}}}},
      {"no CD-Text", std::nullopt, {}},
      {"garbage", std::vector<std::vector<std::uint8_t>>{std::vector<std::uint8_t>(18, 0x55)}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cdText = c.packs;
    EXPECT_EQ(readDiscFactsWithSgIo(calls, "sr0", std::chrono::seconds(1)).text, c.text);
  }
}

TEST_F(DiscFactsTest, TheBarcodeAndEachTrackISRCAreKeptOnlyWhenValid) {
  const struct {
    std::pair<bool, std::string> answer;
    std::optional<std::string> mcn;
  } barcodes[] = {
      {{true, "4006381333931"}, "4006381333931"},
      {{true, "0000000000000"}, std::nullopt},
      {{true, "4006381333932"}, std::nullopt},   // wrong check digit
      {{false, "4006381333931"}, std::nullopt},  // the drive says it is not valid
  };
  for (const auto& [answer, mcn] : barcodes) {
    subChannel = {{{0x02, 0}, answer}};
    EXPECT_EQ(readDiscFactsWithSgIo(calls, "sr0", std::chrono::seconds(1)).mcn, mcn)
        << answer.second;
  }

  // Track 2 has none: its answer still holds track 1's characters, without the valid bit.
  subChannel = {{{0x03, 1}, {true, "GBAYE9200070"}},
                {{0x03, 2}, {false, "GBAYE9200070"}},
                {{0x03, 3}, {true, "gb-aye-92-00"}},
                {{0x03, 4}, {true, "USRC17607839"}}};
  EXPECT_EQ(readISRCsWithSgIo(calls, "sr0", {1, 2, 3, 4, 5}, std::chrono::seconds(1)),
            (std::map<int, std::string>{{1, "GBAYE9200070"}, {4, "USRC17607839"}}));
  EXPECT_TRUE(readISRCsWithSgIo(calls, "../sr0", {1}, std::chrono::seconds(1)).empty());
}

}  // namespace
}  // namespace noru::platform::linux_cd
