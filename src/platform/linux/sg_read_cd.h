#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/linux/audio_device.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// How long a drive may take over one READ CD, its own retries of a damaged sector included.
inline constexpr std::chrono::milliseconds kReadCdTimeout{30000};

// READ CD (0xBE) for `sectors` CD-DA sectors from logical block `firstSector`: the 2352 bytes of
// user data of each, followed by the error pointers of `mode`.
std::array<std::uint8_t, 12> readCdCommand(std::int32_t firstSector, int sectors, C2Mode mode);

// The bytes one sector takes in the reply to readCdCommand: its audio and its error pointers.
int readCdSectorBytes(C2Mode mode);

// The additional sense code of fixed-format (byte 12) or descriptor-format (byte 2) sense data;
// nothing when the data is too short or of another format.
std::optional<std::uint8_t> additionalSenseCode(std::span<const std::uint8_t> sense);

// Splits the reply to readCdCommand for `sectors` sectors into their audio, 2352 bytes a sector
// in `buffer`, and one byte a stereo sample in `flagged`: non-zero where the error pointers flag
// any of the sample's four bytes, zero elsewhere (and everywhere for C2Mode::none).
void unpackReadCdReply(const std::uint8_t* reply, int sectors, C2Mode mode, std::uint8_t* buffer,
                       std::uint8_t* flagged);

// How a read of audio through SG_IO ended.
struct ReadCdResult {
  enum class Outcome {
    read,
    layoutRefused,  // the drive does not take READ CD with these error pointers
    sgIoUnusable,   // the descriptor takes no SG_IO requests at all
    failed,         // the drive could not read the sectors; `error` says why
  };
  Outcome outcome;
  int error = 0;  // an errno value, for `failed`
};

// Reads `sectors` (1 to kMaxSectorsPerRead) sectors from logical block `firstSector` with READ CD
// and unpacks them as unpackReadCdReply does. A read larger than the drive's queue takes in one
// transfer is sent as several commands.
ReadCdResult readAudioWithSgIo(SystemCalls& calls, int descriptor, std::int32_t firstSector,
                               int sectors, std::uint8_t* buffer, std::uint8_t* flagged,
                               C2Mode mode, std::chrono::milliseconds timeout = kReadCdTimeout);

}  // namespace noru::platform::linux_cd
