#include "platform/linux/sg_disc_facts.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "platform/linux/cd_text_packs.h"
#include "platform/linux/device_node.h"
#include "platform/linux/sg_full_toc.h"

namespace noru::platform::linux_cd {
namespace {

constexpr std::uint8_t kReadTocPmaAtip = 0x43;
constexpr std::uint8_t kCDTextFormat = 0x05;
constexpr std::uint8_t kReadSubChannel = 0x42;
constexpr std::uint8_t kSubQBit = 0x40;
constexpr std::uint8_t kMCNFormat = 0x02;
constexpr std::uint8_t kISRCFormat = 0x03;
constexpr std::size_t kCDTextAllocation = 0xFFFF;
// The answer to both sub-channel formats: a 4-byte header, the format code, three bytes, a
// byte whose top bit says the number is valid, the number's characters, and the frame.
constexpr std::size_t kSubChannelAllocation = 24;
constexpr std::size_t kValidByte = 8;
constexpr std::size_t kNumberStart = 9;

// The packs of a CD-Text answer: after its 4-byte header, as many whole packs as arrived within
// the length the answer gives.
std::span<const std::uint8_t> cdTextPacksOf(const std::vector<std::uint8_t>& reply) {
  if (reply.size() < 4) {
    return {};
  }
  const std::size_t declared = ((std::size_t{reply[0]} << 8) | reply[1]) + 2;
  const std::size_t length = std::min(reply.size(), declared) - 4;
  return std::span(reply).subspan(4, length - length % kCDTextPackBytes);
}

// The number a sub-channel answer of `format` carries, when it says the number is valid.
std::optional<std::string> subChannelNumber(SystemCalls& calls, int descriptor, std::uint8_t format,
                                            std::uint8_t track, std::size_t characters,
                                            std::chrono::milliseconds timeout) {
  auto command = subChannelCommand(format, track);
  const auto reply = sendReadCommand(calls, descriptor, command, kSubChannelAllocation, timeout);
  if (!reply || reply->size() < kNumberStart + characters || (*reply)[4] != format ||
      ((*reply)[kValidByte] & 0x80) == 0) {
    return std::nullopt;
  }
  return std::string(reply->begin() + kNumberStart, reply->begin() + kNumberStart + characters);
}

// The device opened for commands, closed on every path.
class OpenDevice {
 public:
  OpenDevice(SystemCalls& calls, const std::string& bsdName)
      : calls_(calls),
        descriptor_(isPlainDeviceName(bsdName)
                        ? calls.open(deviceNodePath(bsdName).c_str(), deviceOpenFlags())
                        : -1) {}
  ~OpenDevice() {
    if (descriptor_ >= 0) {
      calls_.close(descriptor_);
    }
  }
  OpenDevice(const OpenDevice&) = delete;
  OpenDevice& operator=(const OpenDevice&) = delete;

  int descriptor() const { return descriptor_; }

 private:
  SystemCalls& calls_;
  const int descriptor_;
};

}  // namespace

std::array<std::uint8_t, 10> cdTextCommand() {
  return {kReadTocPmaAtip,
          0,
          kCDTextFormat,
          0,
          0,
          0,
          0,
          static_cast<std::uint8_t>(kCDTextAllocation >> 8),
          static_cast<std::uint8_t>(kCDTextAllocation & 0xFF),
          0};
}

std::array<std::uint8_t, 10> subChannelCommand(std::uint8_t format, std::uint8_t track) {
  return {kReadSubChannel, 0, kSubQBit, format, 0, 0, track, 0, kSubChannelAllocation, 0};
}

DiscFacts readDiscFactsWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                std::chrono::milliseconds timeout) {
  const OpenDevice device(calls, bsdName);
  if (device.descriptor() < 0) {
    return {};
  }
  DiscFacts facts;
  auto command = cdTextCommand();
  if (const auto reply =
          sendReadCommand(calls, device.descriptor(), command, kCDTextAllocation, timeout)) {
    facts.text = decodeCDTextPacks(cdTextPacksOf(*reply));
  }
  if (const auto mcn = subChannelNumber(calls, device.descriptor(), kMCNFormat, 0, 13, timeout)) {
    facts.mcn = validMCN(*mcn);
  }
  return facts;
}

std::map<int, std::string> readISRCsWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                             const std::vector<int>& tracks,
                                             std::chrono::milliseconds timeout) {
  const OpenDevice device(calls, bsdName);
  std::map<int, std::string> isrcs;
  if (device.descriptor() < 0) {
    return isrcs;
  }
  for (const int track : tracks) {
    const auto isrc = subChannelNumber(calls, device.descriptor(), kISRCFormat,
                                       static_cast<std::uint8_t>(track), 12, timeout);
    if (const auto valid = isrc ? validISRC(*isrc) : std::nullopt) {
      isrcs[track] = *valid;
    }
  }
  return isrcs;
}

}  // namespace noru::platform::linux_cd
