#pragma once

#include <optional>
#include <string>

#include "disc/cd_disc_info.h"

namespace noru::musicbrainz {

// What MusicBrainz knows a disc by: its disc ID, and its table of contents as the web service
// takes it for a fuzzy match ("first last lead-out offset..." in frames, 150 added to every
// logical address, joined with "+").
struct MusicBrainzDiscTOC {
  std::string discId;
  std::string toc;

  bool operator==(const MusicBrainzDiscTOC&) const = default;
};

// Computed by libdiscid. The disc info of an Enhanced CD already ends at its audio session's
// lead-out, which is the lead-out MusicBrainz uses for such discs (the data session's start
// less 11400 frames), so the ID matches the one MusicBrainz holds. Nothing when libdiscid
// refuses the layout (more than 99 tracks, addresses out of order).
std::optional<MusicBrainzDiscTOC> musicBrainzDiscTOC(const disc::CDDiscInfo& disc);

}  // namespace noru::musicbrainz
