#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "disc/full_toc_layout.h"

namespace noru::accuraterip {

// The identifiers under which the AccurateRip database files a disc.
struct DiscIdentifiers {
  std::int32_t audioTrackCount = 0;
  std::uint32_t id1 = 0;  // the sum of the audio tracks' starts and the lead-out
  std::uint32_t id2 = 0;  // the same addresses weighted by their place (see from())
  std::uint32_t cddbId = 0;

  // From the full table of contents, as the database's own reference ripper computes them;
  // nothing without an audio track or a lead-out. All addresses are logical block addresses
  // (MSF minus 150 frames) and the lead-out is the disc's final one.
  //
  //   id1 = sum of the audio tracks' starts + lead-out
  //   id2 = sum of max(start, 1) × k over the audio tracks, k = 1, 2, ... in disc order,
  //         + lead-out × (audio track count + 1)
  //   cddbId = the freedb disc id of every track, audio and data, with that lead-out.
  //
  // Data tracks never count in id1 and id2, but the real lead-out does: on an Enhanced CD
  // (an audio session, then a data session) that is the lead-out after the data session, and
  // the data track counts in the CDDB id; a disc whose first track is data leaves that track
  // out of id1 and id2 and keeps it in the CDDB id. Worked examples that the reference ripper
  // confirms are in "Data track handling in AccurateRip disc ID calculation"
  // (github.com/arcctgx/ARver, doc/data_track.md).
  static std::optional<DiscIdentifiers> from(const disc::FullTOCLayout& layout);

  // "/accuraterip/a/b/c/dBAR-ttt-iiiiiiii-jjjjjjjj-cccccccc.bin": a, b, c the last, second to
  // last and third to last hex digit of id1, ttt the audio track count in three decimal
  // digits, then id1, id2 and the CDDB id in eight lower-case hex digits.
  std::string databasePath() const;

  bool operator==(const DiscIdentifiers&) const = default;
};

}  // namespace noru::accuraterip
