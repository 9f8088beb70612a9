#include "platform/linux/sg_full_toc.h"

#include <algorithm>
#include <vector>

#include "platform/linux/device_node.h"

namespace noru::platform::linux_cd {
namespace {

constexpr std::uint8_t kReadTocPmaAtip = 0x43;
constexpr std::uint8_t kMsfBit = 0x02;
constexpr std::uint8_t kFullTocFormat = 0x02;
constexpr std::uint8_t kFirstSession = 1;

// SCSI status bytes and sense keys (SPC).
constexpr std::uint8_t kStatusGood = 0x00;
constexpr std::uint8_t kStatusCheckCondition = 0x02;
constexpr std::uint8_t kSenseNoSense = 0x0;
constexpr std::uint8_t kSenseRecoveredError = 0x1;
// The driver_status bit that only says "sense data is attached".
constexpr unsigned kDriverSense = 0x08;

}  // namespace

std::array<std::uint8_t, 10> fullTocCommand() {
  return {kReadTocPmaAtip,
          kMsfBit,
          kFullTocFormat,
          0,
          0,
          0,
          kFirstSession,
          static_cast<std::uint8_t>(kFullTocAllocation >> 8),
          static_cast<std::uint8_t>(kFullTocAllocation & 0xFF),
          0};
}

sg_io_hdr sgReadRequest(std::span<std::uint8_t> command, std::span<std::uint8_t> reply,
                        SenseBuffer& sense, std::chrono::milliseconds timeout) {
  sg_io_hdr header{};
  header.interface_id = 'S';
  header.dxfer_direction = SG_DXFER_FROM_DEV;
  header.cmd_len = static_cast<unsigned char>(command.size());
  header.cmdp = command.data();
  header.dxfer_len = static_cast<unsigned int>(reply.size());
  header.dxferp = reply.data();
  header.mx_sb_len = static_cast<unsigned char>(sense.size());
  header.sbp = sense.data();
  header.timeout = static_cast<unsigned int>(timeout.count());
  return header;
}

std::optional<std::uint8_t> senseKey(std::span<const std::uint8_t> sense) {
  if (sense.empty()) {
    return std::nullopt;
  }
  const std::uint8_t responseCode = sense[0] & 0x7F;
  if ((responseCode == 0x70 || responseCode == 0x71) && sense.size() >= 3) {
    return sense[2] & 0x0F;
  }
  if ((responseCode == 0x72 || responseCode == 0x73) && sense.size() >= 2) {
    return sense[1] & 0x0F;
  }
  return std::nullopt;
}

bool sgCommandSucceeded(const sg_io_hdr& header, std::span<const std::uint8_t> sense) {
  if ((header.info & SG_INFO_OK_MASK) == SG_INFO_OK) {
    return true;
  }
  if (header.host_status != 0) {
    return false;  // the command never completed: timeout, reset, bus error
  }
  if ((header.driver_status & ~kDriverSense) != 0) {
    return false;
  }
  if (!sense.empty()) {
    const auto key = senseKey(sense);
    return key && (*key == kSenseNoSense || *key == kSenseRecoveredError);
  }
  if (header.status == kStatusCheckCondition) {
    return false;  // an error without the sense data that would say which
  }
  return header.status == kStatusGood;
}

std::size_t fullTocReplyLength(std::span<const std::uint8_t> reply, std::size_t received) {
  received = std::min(received, reply.size());
  if (received < 2) {
    return received;
  }
  const std::size_t declared = ((std::size_t{reply[0]} << 8) | reply[1]) + 2;
  return std::min(received, declared);
}

FullTocReply readFullTocWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                 std::chrono::milliseconds timeout) {
  if (!isPlainDeviceName(bsdName)) {
    return {FullTocReply::Outcome::invalidDeviceName, {}};
  }
  const std::string path = deviceNodePath(bsdName);
  const int descriptor = calls.open(path.c_str(), deviceOpenFlags());
  if (descriptor < 0) {
    return {FullTocReply::Outcome::deviceUnavailable, {}};
  }

  auto command = fullTocCommand();
  auto reply = sendReadCommand(calls, descriptor, command, kFullTocAllocation, timeout);
  calls.close(descriptor);
  if (!reply) {
    return {FullTocReply::Outcome::noToc, {}};
  }
  reply->resize(fullTocReplyLength(*reply, reply->size()));
  return {FullTocReply::Outcome::ok, std::move(*reply)};
}

std::optional<std::vector<std::uint8_t>> sendReadCommand(SystemCalls& calls, int descriptor,
                                                         std::span<std::uint8_t> command,
                                                         std::size_t allocation,
                                                         std::chrono::milliseconds timeout) {
  std::vector<std::uint8_t> reply(allocation, 0);
  SenseBuffer sense{};
  sg_io_hdr header = sgReadRequest(command, reply, sense, timeout);
  if (calls.ioctlPointer(descriptor, SG_IO, &header) < 0) {
    return std::nullopt;
  }
  const std::size_t senseLength = std::min<std::size_t>(header.sb_len_wr, sense.size());
  if (!sgCommandSucceeded(header, std::span(sense.data(), senseLength))) {
    return std::nullopt;
  }
  const int residue = std::clamp(header.resid, 0, static_cast<int>(reply.size()));
  reply.resize(reply.size() - residue);
  return reply;
}

}  // namespace noru::platform::linux_cd
