#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/linux/disc_facts.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// READ TOC/PMA/ATIP, format 0101b: the CD-Text packs of the lead-in.
std::array<std::uint8_t, 10> cdTextCommand();
// READ SUB-CHANNEL with the Q sub-channel asked for, in format 02h (the media catalogue number)
// or 03h (the ISRC of `track`).
std::array<std::uint8_t, 10> subChannelCommand(std::uint8_t format, std::uint8_t track);

// The CD-Text and the media catalogue number of the disc in "/dev/" + bsdName. A fact the drive
// does not give, or gives in a form that cannot be right, is missing; nothing here fails.
DiscFacts readDiscFactsWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                std::chrono::milliseconds timeout);

// The ISRCs of `tracks` as the drive reads them from each track's Q sub-channel; a track
// without one (or with one of a form that cannot be right) is left out.
std::map<int, std::string> readISRCsWithSgIo(SystemCalls& calls, const std::string& bsdName,
                                             const std::vector<int>& tracks,
                                             std::chrono::milliseconds timeout);

}  // namespace noru::platform::linux_cd
