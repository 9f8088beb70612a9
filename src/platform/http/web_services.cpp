#include "platform/http/web_services.h"

#include <cstdlib>

namespace noru::platform::http {

WebServices WebServices::shipped() {
  return WebServices{
      .metadataService = std::string(kMetadataServiceBaseURL),
      .coverArtArchive = std::string(kCoverArtArchiveBaseURL),
      .accurateRip = std::string(kAccurateRipBaseURL),
      .cueToolsDatabase = std::string(kCueToolsDatabaseBaseURL),
      .musicBrainz = std::string(kMusicBrainzBaseURL),
      .wikidata = std::string(kWikidataBaseURL),
      .wikimediaCommons = std::string(kWikimediaCommonsBaseURL),
      .musicBrainzAsSecondSource = true,
      .cacheFolder = userCacheFolder(),
  };
}

std::filesystem::path userCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
    return std::filesystem::path(xdg) / "noru-cd-ripper";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::filesystem::path(home) / ".cache" / "noru-cd-ripper";
  }
  return {};
}

}  // namespace noru::platform::http
