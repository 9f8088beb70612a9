#pragma once

#include <scsi/sg.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/full_toc_source.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// How long a drive may take to answer the full-TOC request. The request runs on the main
// thread, so this bounds how long a silent drive can hold the window.
inline constexpr std::chrono::milliseconds kFullTocTimeout{10000};

// The most a full TOC can be: the request's allocation length.
inline constexpr std::size_t kFullTocAllocation = 0xFFFF;

// READ TOC/PMA/ATIP (0x43) with the MSF bit set, format 0010b (full TOC), session 1 and an
// allocation length of 0xFFFF.
std::array<std::uint8_t, 10> fullTocCommand();

// Room for the sense data of one SG_IO request.
using SenseBuffer = std::array<std::uint8_t, 64>;

// An SG_IO request that sends `command` and reads the device's answer into `reply`, its sense
// data into `sense`, within `timeout`.
sg_io_hdr sgReadRequest(std::span<std::uint8_t> command, std::span<std::uint8_t> reply,
                        SenseBuffer& sense, std::chrono::milliseconds timeout);

// The sense key of fixed-format (0x70/0x71) or descriptor-format (0x72/0x73) sense data;
// nothing when the data is too short or of another format.
std::optional<std::uint8_t> senseKey(std::span<const std::uint8_t> sense);

// Whether a finished SG_IO request delivered its data: no transport or driver error, and a
// GOOD status or sense that reports no error (NO SENSE, RECOVERED ERROR). `sense` holds the
// sb_len_wr bytes the driver wrote.
bool sgCommandSucceeded(const sg_io_hdr& header, std::span<const std::uint8_t> sense);

// How many bytes of `reply` (of which `received` arrived) belong to the table of contents: the
// two length bytes plus the length they give, but never more than arrived.
std::size_t fullTocReplyLength(std::span<const std::uint8_t> reply, std::size_t received);

// Sends `command`, which asks for at most `allocation` bytes, to the open device `descriptor`
// and returns the bytes of its answer that arrived. Nothing when the command failed.
std::optional<std::vector<std::uint8_t>> sendReadCommand(SystemCalls& calls, int descriptor,
                                                         std::span<std::uint8_t> command,
                                                         std::size_t allocation,
                                                         std::chrono::milliseconds timeout);

// Sends the full-TOC request to "/dev/" + bsdName and returns the reply. The descriptor is
// closed before returning.
FullTocReply readFullTocWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                 std::chrono::milliseconds timeout = kFullTocTimeout);

}  // namespace noru::platform::linux_cd
