#pragma once

#include <stop_token>

#include "disc/cd_disc_info.h"
#include "lookup/lookup_cd.h"
#include "musicbrainz/musicbrainz_service.h"

namespace noru::musicbrainz {

// The disc lookup answered by MusicBrainz itself: the disc ID and table of contents of the
// disc, one release per MusicBrainz release holding it (or, when no release holds the ID,
// matching the table of contents), in MusicBrainz's order, with the tracks of the medium
// that holds the disc and the release's front cover in the Cover Art Archive.
// Raises SourceError, lookup::DecodingError, TransportError, CancellationError.
class MusicBrainzLookup {
 public:
  lookup::LookupCD::Response operator()(const disc::CDDiscInfo& disc, std::stop_token stop) const;

  MusicBrainzService service;
};

}  // namespace noru::musicbrainz
