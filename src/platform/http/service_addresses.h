#pragma once

#include <string_view>

namespace noru::platform::http {

// The two web services the program talks to. Both are fixed in the program: no file, variable
// or flag changes them. Operations that call them hold the address as a field so that tests can
// point them at a server of their own.

// The product's metadata service: disc lookup, text search, artist information.
inline constexpr std::string_view kMetadataServiceBaseURL = "https://api.noru.app";

// The public Cover Art Archive, source of the album covers.
inline constexpr std::string_view kCoverArtArchiveBaseURL = "https://coverartarchive.org";

// The AccurateRip database of track checksums and its list of drive read offsets. Plain HTTP:
// that is how the server publishes them, and what it serves is checked, not trusted.
inline constexpr std::string_view kAccurateRipBaseURL = "http://www.accuraterip.com";

// Where the program finds the same answers itself when the metadata service cannot be reached:
// the MusicBrainz web service, and Wikidata and Wikimedia Commons for artist pictures.
inline constexpr std::string_view kMusicBrainzBaseURL = "https://musicbrainz.org";
inline constexpr std::string_view kWikidataBaseURL = "https://www.wikidata.org";
inline constexpr std::string_view kWikimediaCommonsBaseURL = "https://commons.wikimedia.org";

}  // namespace noru::platform::http
