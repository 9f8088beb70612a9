#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/cd_lookup_track.h"

namespace noru::disc {

// One edition of an album that the metadata service offers for a disc or a search. Its
// identity is `id`, the MusicBrainz release identifier.
struct CDLookupRelease {
  std::string id;
  std::optional<std::string> releaseGroupMbid;
  std::string title;
  std::string artistCredit;
  std::optional<std::string> artistMbid;
  std::optional<std::string> date;
  std::optional<std::string> country;
  std::vector<CDLookupTrack> tracks;
  std::optional<std::int64_t> caaId;
  std::optional<std::string> caaReleaseMbid;
  // Which of the release's discs this is, and how many it has, when the source says so.
  std::optional<std::int64_t> discNumber;
  std::optional<std::int64_t> discTotal;

  bool operator==(const CDLookupRelease&) const = default;
};

}  // namespace noru::disc

template <>
struct std::hash<noru::disc::CDLookupRelease> {
  std::size_t operator()(const noru::disc::CDLookupRelease& release) const noexcept;
};
