#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace noru::disc {

// One track-start entry of a full TOC (an ADR 1 descriptor with POINT 1 to 99), audio or data.
struct FullTOCTrack {
  std::int32_t number = 0;    // POINT, the track's number as printed on the disc
  std::int32_t startLBA = 0;  // logical block address: the absolute MSF address minus 150
  bool data = false;          // the control field's data bit
  std::uint8_t session = 0;
  bool preEmphasis = false;  // the control field's pre-emphasis bit

  bool operator==(const FullTOCTrack&) const = default;
};

// Everything the full TOC says about where tracks lie, data tracks and sessions included. The
// parsed disc record keeps only audio tracks and ends an Enhanced CD at its audio session; the
// AccurateRip and CDDB identifiers need the whole picture.
struct FullTOCLayout {
  // Tracks in POINT order (descriptors of equal POINT keep their TOC order).
  std::vector<FullTOCTrack> tracks;
  // Each session's lead-out (POINT A2) as a logical block address, by session number.
  std::map<std::uint8_t, std::int32_t> sessionLeadOuts;
  // The disc's final lead-out: the last ADR 1 lead-out the TOC lists. Drives list sessions in
  // order, so on an Enhanced CD this is the lead-out after the data session.
  std::optional<std::int32_t> leadOut;

  bool operator==(const FullTOCLayout&) const = default;
};

}  // namespace noru::disc
