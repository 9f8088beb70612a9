#include "musicbrainz/musicbrainz_artist_picture.h"

#include <algorithm>
#include <regex>

#include "lookup/json_coding.h"
#include "musicbrainz/json_request.h"

namespace noru::musicbrainz {
namespace {

using lookup::JsonObjectReader;

constexpr const char* kPictureWidth = "1000";

// The item id ("Q1299") of the artist's Wikidata link, if MusicBrainz has one.
std::optional<std::string> wikidataItem(const nlohmann::ordered_json& artist) {
  static const std::regex item(R"(^https?://(www\.)?wikidata\.org/wiki/(Q[0-9]+)$)");
  const auto links =
      JsonObjectReader(artist, "").optionalObjects("relations", [](const auto& link) {
        const auto url = link.optionalObject("url");
        return std::make_pair(link.optionalText("type").value_or(""),
                              url ? url->optionalText("resource").value_or("") : std::string());
      });
  for (const auto& [type, resource] : links) {
    std::smatch match;
    if (type == "wikidata" && std::regex_match(resource, match, item)) {
      return match[2].str();
    }
  }
  return std::nullopt;
}

// The Commons file name of the item's image (property P18): the preferred statement, else the
// first that is not deprecated.
std::optional<std::string> imageFileName(const nlohmann::ordered_json& claims) {
  const auto statements =
      JsonObjectReader(claims, "").object("claims").optionalObjects("P18", [](const auto& claim) {
        const auto snak = claim.object("mainsnak");
        const auto value = snak.optionalObject("datavalue");
        return std::make_pair(claim.optionalText("rank").value_or("normal"),
                              value ? value->optionalText("value") : std::nullopt);
      });
  std::optional<std::string> chosen;
  for (const auto& [rank, file] : statements) {
    if (!file || file->empty() || rank == "deprecated") {
      continue;
    }
    if (rank == "preferred") {
      return file;
    }
    if (!chosen) {
      chosen = file;
    }
  }
  return chosen;
}

}  // namespace

std::optional<std::string> MusicBrainzArtistPicture::operator()(const std::string& artistMbid,
                                                                std::stop_token stop) const {
  const auto artist = service.get("artist/" + percentEncoded(artistMbid) + "?inc=url-rels", stop);
  const auto item = artist ? wikidataItem(*artist) : std::nullopt;
  if (!item) {
    return std::nullopt;
  }
  const auto claims =
      getJSON(service.web.sender(),
              service.web.wikidata +
                  "/w/api.php?action=wbgetclaims&format=json&property=P18&entity=" + *item,
              std::move(stop));
  auto file = claims ? imageFileName(*claims) : std::nullopt;
  if (!file) {
    return std::nullopt;
  }
  // Commons names files with underscores where their titles have spaces.
  std::replace(file->begin(), file->end(), ' ', '_');
  return service.web.wikimediaCommons + "/wiki/Special:FilePath/" + percentEncoded(*file) +
         "?width=" + kPictureWidth;
}

}  // namespace noru::musicbrainz
