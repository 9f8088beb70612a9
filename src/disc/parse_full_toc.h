#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "disc/cd_disc_info.h"
#include "disc/full_toc_layout.h"

namespace noru::disc {

// Reads every track-start and lead-out descriptor of the raw full TOC of a disc (READ
// TOC/PMA/ATIP format 0010b: a 4-byte header and 11-byte descriptors, big-endian). Only ADR 1
// descriptors count. Nothing when the bytes are too short or their length field leaves no room
// for a descriptor; otherwise a layout, possibly without tracks. Any byte string is safe to pass.
std::optional<FullTOCLayout> parseFullTOCLayout(std::span<const std::uint8_t> bytes);

// Turns the raw full TOC of a disc (READ TOC/PMA/ATIP format 0010b: a 4-byte header and
// 11-byte descriptors, big-endian) into its audio tracks. Nothing when the bytes are too short
// or inconsistent, or hold no audio track of positive length. Any byte string is safe to pass.
//
// Tracks are the ADR 1 descriptors with POINT 1 to 99 and the data bit clear, in POINT order,
// numbered 1, 2, ... as kept. A track ends where the next audio track starts; the last one at
// the lead-out (POINT A2). On a disc with several sessions each track keeps to its own
// session: one followed by a data track of its session ends where that track starts (or at
// the session's lead-out if that comes first), and the last audio track of a session ends at
// that session's lead-out. A session without an ADR 1 lead-out falls back to the disc-wide
// rule: the next audio track's start, else the last lead-out in TOC order, else the track is
// dropped.
std::optional<CDDiscInfo> parseFullTOC(std::span<const std::uint8_t> bytes);

}  // namespace noru::disc
