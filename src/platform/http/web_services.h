#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/http/http_client.h"
#include "platform/http/program_identity.h"

namespace noru::platform::http {

// The product's metadata service: disc lookup, text search, artist information.
inline constexpr std::string_view kMetadataServiceBaseURL = "https://api.noru.app";
// The public Cover Art Archive, source of the album covers.
inline constexpr std::string_view kCoverArtArchiveBaseURL = "https://coverartarchive.org";
// The AccurateRip database of track checksums and its list of drive read offsets. Plain HTTP:
// that is how the server publishes them, and what it serves is checked, not trusted.
inline constexpr std::string_view kAccurateRipBaseURL = "http://www.accuraterip.com";
// The CUETools database of whole-disc CRCs and the syndromes that repair a rip. Plain HTTP, as
// the server publishes it; what it serves is checked against the rip, not trusted.
inline constexpr std::string_view kCueToolsDatabaseBaseURL = "http://db.cuetools.net";
// Where the program finds the same answers itself when the metadata service cannot be reached:
// the MusicBrainz web service, and Wikidata and Wikimedia Commons for artist pictures.
inline constexpr std::string_view kMusicBrainzBaseURL = "https://musicbrainz.org";
inline constexpr std::string_view kWikidataBaseURL = "https://www.wikidata.org";
inline constexpr std::string_view kWikimediaCommonsBaseURL = "https://commons.wikimedia.org";

// Everything the program needs to reach the web: the address of each service, whether
// MusicBrainz stands in for the metadata service, the folder where downloaded lists are kept,
// the name the program gives itself, and the exchange that carries each request. The shipped
// program uses shipped(); a default value reaches nothing (every address is empty), so that a
// test can only talk to the servers it names.
struct WebServices {
  std::string metadataService;
  std::string coverArtArchive;
  std::string accurateRip;
  std::string cueToolsDatabase;
  std::string musicBrainz;
  std::string wikidata;
  std::string wikimediaCommons;
  // Ask MusicBrainz (and Wikidata, Commons) when the metadata service cannot be reached.
  bool musicBrainzAsSecondSource = false;
  // Where downloaded lists are kept between runs; empty: nothing is kept.
  std::filesystem::path cacheFolder;
  std::string userAgent{kUserAgent};
  SendHttpRequest exchange = sendHttpRequest;

  // The addresses fixed in the program, MusicBrainz behind the metadata service, and the
  // user's cache folder.
  static WebServices shipped();

  // Sends `request` through the exchange, naming the program as `userAgent`.
  HttpResponse send(HttpRequest request, std::stop_token stop) const {
    request.userAgent = userAgent;
    return exchange(request, std::move(stop));
  }
  // send() as a function value that holds its own copy of these services.
  SendHttpRequest sender() const {
    return [services = *this](const HttpRequest& request, std::stop_token stop) {
      return services.send(request, std::move(stop));
    };
  }
};

// $XDG_CACHE_HOME/noru-cd-ripper, or ~/.cache/noru-cd-ripper when XDG_CACHE_HOME is unset or
// not absolute; empty when HOME is not set either.
std::filesystem::path userCacheFolder();

}  // namespace noru::platform::http
