#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace noru::ctdb {

// One pressing the CUETools database knows for a table of contents.
struct CTDBEntry {
  std::string id;
  std::uint32_t crc32 = 0;  // of the whole disc, as its CRCs count it (see DiscCRCs)
  int confidence = 0;       // how many submissions agree
  std::vector<std::uint32_t> trackCRCs;
  std::string toc;
  int npar = 0;                          // syndromes per column of the file of syndromes
  int stride = 0;                        // in stereo samples
  std::optional<std::string> syndromes;  // where the file of syndromes lies, when there is one
  // Column 0's syndromes S_0 … S_(npar−1), to check the file against; empty for an old entry.
  std::vector<std::uint16_t> syndrome;

  bool operator==(const CTDBEntry&) const = default;
};

// Reads the database's XML answer to a lookup: a `ctdb` root holding `entry` elements. An
// entry without a `toc` is passed over. Nothing when the text is no such answer or any entry is
// malformed (a missing or non-numeric field, a CRC that is not eight hex digits, a syndrome that
// is not base64 of `npar` little-endian words): one bad entry and the answer cannot be trusted.
// Any text is safe to pass.
std::optional<std::vector<CTDBEntry>> parseCTDBAnswer(std::string_view xml);

}  // namespace noru::ctdb
