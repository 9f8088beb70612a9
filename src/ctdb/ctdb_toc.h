#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disc/full_toc_layout.h"

namespace noru::ctdb {

// What the CUETools database knows a disc by.
struct CTDBToc {
  // Every track's start as a logical block address, a data track's marked with "-", then the
  // disc's final lead-out, joined with ":" ("0:11413:25024:45713:55220"): what a lookup sends.
  std::string text;
  // The SHA-1 of the audio tracks' starts 2…n and the audio lead-out, each relative to the first
  // audio track and written as eight upper-case hex digits, padded with "0" to 100 entries;
  // in base64 with "._-" for "+/=".
  std::string id;
  // Where the audio lies: the audio tracks' starts and the audio lead-out (on an Enhanced CD
  // the data session's start less 11400, the lead-out and lead-in between the sessions).
  std::vector<std::int32_t> audioStarts;
  std::int32_t audioLeadOut = 0;

  // Nothing without an audio track or a lead-out, or with addresses out of order.
  static std::optional<CTDBToc> from(const disc::FullTOCLayout& layout);

  bool operator==(const CTDBToc&) const = default;
};

// `bytes` in base64 with the alphabet of CUETools and MusicBrainz ids ("._-" for "+/=").
std::string idBase64(const std::vector<std::uint8_t>& bytes);

}  // namespace noru::ctdb
