#include "platform/linux/sg_read_cd.h"

#include <linux/fs.h>
#include <scsi/sg.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <numeric>
#include <vector>

#include "platform/linux/sg_full_toc.h"

namespace noru::platform::linux_cd {
namespace {

constexpr std::uint8_t kReadCd = 0xBE;
constexpr std::uint8_t kExpectCdDa = 1 << 2;
constexpr std::uint8_t kUserData = 0x10;
constexpr std::uint8_t kC2Pointers = 0x02;
constexpr std::uint8_t kC2PointersAndBlockError = 0x04;

// One C2 bit for each audio byte; the 296-byte layout adds a block-error byte and a stuff byte.
constexpr int kPointerBytes = kAudioSectorBytes / 8;
constexpr int kPointerBlockBytes = kPointerBytes + 2;
using ErrorPointers = std::array<std::uint8_t, kPointerBytes>;

// Sense keys and additional sense codes (SPC, MMC).
constexpr std::uint8_t kSenseNotReady = 0x2;
constexpr std::uint8_t kSenseIllegalRequest = 0x5;
constexpr std::uint8_t kSenseUnitAttention = 0x6;
constexpr std::uint8_t kAscAddressOutOfRange = 0x21;
constexpr std::uint8_t kAscMediumMayHaveChanged = 0x28;
constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
constexpr std::uint8_t kAscIllegalModeForTrack = 0x64;
// The host_status of a device that is gone.
constexpr unsigned short kDidNoConnect = 0x01;

// The unit of BLKSECTGET.
constexpr int kBlockBytes = 512;

std::uint8_t errorPointersField(C2Mode mode) {
  switch (mode) {
    case C2Mode::bits294:
      return kC2Pointers;
    case C2Mode::bits296:
      return kC2PointersAndBlockError;
    case C2Mode::none:
      break;
  }
  return 0;
}

std::uint8_t orOf(std::span<const std::uint8_t> bytes) {
  return std::accumulate(bytes.begin(), bytes.end(), std::uint8_t{0}, std::bit_or<std::uint8_t>());
}

// The pointers of a 296-byte block. Some drives put the block-error byte (the OR of the
// pointers) and the stuff byte first, others put them last; the block-error byte that matches
// tells which. When neither matches, both readings count: a suspect sample too many does less
// harm than one missed.
ErrorPointers pointersOfBlock(std::span<const std::uint8_t, kPointerBlockBytes> block) {
  const auto afterHeader = block.subspan<2, kPointerBytes>();
  const auto beforeTrailer = block.first<kPointerBytes>();
  ErrorPointers pointers{};
  if (block[0] == orOf(afterHeader)) {
    std::ranges::copy(afterHeader, pointers.begin());
  } else if (block[kPointerBytes] == orOf(beforeTrailer)) {
    std::ranges::copy(beforeTrailer, pointers.begin());
  } else {
    std::ranges::transform(afterHeader, beforeTrailer, pointers.begin(),
                           std::bit_or<std::uint8_t>());
  }
  return pointers;
}

// The error pointers that follow a sector's audio in the reply.
ErrorPointers errorPointersOf(const std::uint8_t* trailer, C2Mode mode) {
  ErrorPointers pointers{};
  if (mode == C2Mode::bits294) {
    std::copy_n(trailer, kPointerBytes, pointers.begin());
  } else if (mode == C2Mode::bits296) {
    pointers = pointersOfBlock(std::span<const std::uint8_t, kPointerBlockBytes>(
        trailer, static_cast<std::size_t>(kPointerBlockBytes)));
  }
  return pointers;
}

// Audio byte b has bit 7 - b % 8 of pointer byte b / 8, so the four bytes of sample s are the
// high half of pointer byte s / 2 for an even s and its low half for an odd one.
void flagSamples(const ErrorPointers& pointers, std::uint8_t* flagged) {
  for (int sample = 0; sample < kSamplesPerSector; ++sample) {
    const std::uint8_t bits = pointers[static_cast<std::size_t>(sample / 2)];
    flagged[sample] = static_cast<std::uint8_t>(sample % 2 == 0 ? bits & 0xF0 : bits & 0x0F);
  }
}

ReadCdResult readFailed(int error) {
  return {ReadCdResult::Outcome::failed, error};
}

// Errors of the ioctl itself that say the descriptor does not take SG_IO (not a drive behind
// the SCSI layer, or a caller without the right), rather than that the read went wrong.
bool sgIoUnusable(int error) {
  return error == ENOTTY || error == EINVAL || error == ENOSYS || error == EPERM || error == EACCES;
}

// Whether an ILLEGAL REQUEST is about the sectors asked for (past the disc's end, a data
// track) rather than about the command: that happens with any layout.
bool refusesTheSectors(std::optional<std::uint8_t> asc) {
  return asc == kAscAddressOutOfRange || asc == kAscIllegalModeForTrack;
}

bool reportsNoMedium(std::optional<std::uint8_t> key, std::optional<std::uint8_t> asc) {
  return (key == kSenseNotReady && asc == kAscMediumNotPresent) ||
         (key == kSenseUnitAttention &&
          (asc == kAscMediumMayHaveChanged || asc == kAscMediumNotPresent));
}

ReadCdResult failedCommandResult(const sg_io_hdr& header, std::span<const std::uint8_t> sense) {
  if (header.host_status == kDidNoConnect) {
    return readFailed(ENODEV);
  }
  const auto key = senseKey(sense);
  const auto asc = additionalSenseCode(sense);
  if (key == kSenseIllegalRequest && !refusesTheSectors(asc)) {
    return {ReadCdResult::Outcome::layoutRefused};
  }
  return readFailed(reportsNoMedium(key, asc) ? ENOMEDIUM : EIO);
}

// Sends one READ CD into `reply`, which holds exactly the sectors asked for.
ReadCdResult sendReadCd(SystemCalls& calls, int descriptor, std::int32_t firstSector, int sectors,
                        C2Mode mode, std::span<std::uint8_t> reply,
                        std::chrono::milliseconds timeout) {
  auto command = readCdCommand(firstSector, sectors, mode);
  SenseBuffer sense{};
  sg_io_hdr header = sgReadRequest(command, reply, sense, timeout);

  if (calls.ioctlPointer(descriptor, SG_IO, &header) < 0) {
    const int error = errno;
    return sgIoUnusable(error) ? ReadCdResult{ReadCdResult::Outcome::sgIoUnusable}
                               : readFailed(error);
  }
  const std::span<const std::uint8_t> senseData(
      sense.data(), std::min<std::size_t>(header.sb_len_wr, sense.size()));
  if (!sgCommandSucceeded(header, senseData)) {
    return failedCommandResult(header, senseData);
  }
  if (header.resid > 0) {
    return readFailed(EIO);  // fewer sectors arrived than were asked for
  }
  return {ReadCdResult::Outcome::read};
}

// How many sectors one command may carry: SG_IO refuses a transfer larger than the drive's
// queue takes at once (often 120 KiB behind USB), so stay within what BLKSECTGET reports.
int sectorsPerCommand(SystemCalls& calls, int descriptor, C2Mode mode) {
  unsigned short queueBlocks = 0;
  if (calls.ioctlPointer(descriptor, BLKSECTGET, &queueBlocks) < 0 || queueBlocks == 0) {
    return kMaxSectorsPerRead;
  }
  return std::clamp(queueBlocks * kBlockBytes / readCdSectorBytes(mode), 1, kMaxSectorsPerRead);
}

}  // namespace

std::array<std::uint8_t, 12> readCdCommand(std::int32_t firstSector, int sectors, C2Mode mode) {
  const auto lba = static_cast<std::uint32_t>(firstSector);
  const auto length = static_cast<std::uint32_t>(sectors);
  return {kReadCd,
          kExpectCdDa,
          static_cast<std::uint8_t>(lba >> 24),
          static_cast<std::uint8_t>(lba >> 16),
          static_cast<std::uint8_t>(lba >> 8),
          static_cast<std::uint8_t>(lba),
          static_cast<std::uint8_t>(length >> 16),
          static_cast<std::uint8_t>(length >> 8),
          static_cast<std::uint8_t>(length),
          static_cast<std::uint8_t>(kUserData | errorPointersField(mode)),
          0,
          0};
}

int readCdSectorBytes(C2Mode mode) {
  switch (mode) {
    case C2Mode::bits294:
      return kAudioSectorBytes + kPointerBytes;
    case C2Mode::bits296:
      return kAudioSectorBytes + kPointerBlockBytes;
    case C2Mode::none:
      break;
  }
  return kAudioSectorBytes;
}

std::optional<std::uint8_t> additionalSenseCode(std::span<const std::uint8_t> sense) {
  if (sense.empty()) {
    return std::nullopt;
  }
  const std::uint8_t responseCode = sense[0] & 0x7F;
  if ((responseCode == 0x70 || responseCode == 0x71) && sense.size() >= 13) {
    return sense[12];
  }
  if ((responseCode == 0x72 || responseCode == 0x73) && sense.size() >= 3) {
    return sense[2];
  }
  return std::nullopt;
}

void unpackReadCdReply(const std::uint8_t* reply, int sectors, C2Mode mode, std::uint8_t* buffer,
                       std::uint8_t* flagged) {
  const int sectorBytes = readCdSectorBytes(mode);
  for (int sector = 0; sector < sectors; ++sector) {
    const std::uint8_t* audio = reply + std::ptrdiff_t{sector} * sectorBytes;
    std::copy_n(audio, kAudioSectorBytes, buffer + std::ptrdiff_t{sector} * kAudioSectorBytes);
    flagSamples(errorPointersOf(audio + kAudioSectorBytes, mode),
                flagged + std::ptrdiff_t{sector} * kSamplesPerSector);
  }
}

ReadCdResult readAudioWithSgIo(SystemCalls& calls, int descriptor, std::int32_t firstSector,
                               int sectors, std::uint8_t* buffer, std::uint8_t* flagged,
                               C2Mode mode, std::chrono::milliseconds timeout) {
  if (sectors < 1 || sectors > kMaxSectorsPerRead || firstSector < 0) {
    return readFailed(EINVAL);
  }
  const int perCommand = sectorsPerCommand(calls, descriptor, mode);
  std::vector<std::uint8_t> reply;
  for (int done = 0; done < sectors; done += perCommand) {
    const int count = std::min(perCommand, sectors - done);
    reply.resize(static_cast<std::size_t>(count) * readCdSectorBytes(mode));
    const auto result =
        sendReadCd(calls, descriptor, firstSector + done, count, mode, reply, timeout);
    if (result.outcome != ReadCdResult::Outcome::read) {
      return result;
    }
    unpackReadCdReply(reply.data(), count, mode, buffer + std::ptrdiff_t{done} * kAudioSectorBytes,
                      flagged + std::ptrdiff_t{done} * kSamplesPerSector);
  }
  return {ReadCdResult::Outcome::read};
}

}  // namespace noru::platform::linux_cd
