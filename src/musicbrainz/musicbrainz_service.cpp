#include "musicbrainz/musicbrainz_service.h"

#include <charconv>

#include "lookup/json_coding.h"
#include "musicbrainz/json_request.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::musicbrainz {
namespace {

using lookup::JsonObjectReader;

// The archive has written image identifiers both as numbers and as texts of digits.
std::int64_t imageId(const JsonObjectReader& image) {
  try {
    return image.integer("id");
  } catch (const lookup::DecodingError&) {
    const auto text = image.text("id");
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
      throw lookup::DecodingError(lookup::DecodingError::Kind::typeMismatch, "images[].id",
                                  "a whole number");
    }
    return id;
  }
}

}  // namespace

std::optional<nlohmann::ordered_json> MusicBrainzService::get(const std::string& resource,
                                                              std::stop_token stop) const {
  const char* separator = resource.find('?') == std::string::npos ? "?" : "&";
  const std::string url = web.musicBrainz + "/ws/2/" + resource + separator + "fmt=json";
  limiter->waitForTurn(stop);
  try {
    return getJSON(web.sender(), url, stop);
  } catch (const SourceError& error) {
    // 503 is how MusicBrainz says it is too busy (or we were too quick): one more try, at the
    // next turn.
    if (error.status() != 503) {
      throw;
    }
  }
  limiter->waitForTurn(stop);
  return getJSON(web.sender(), url, std::move(stop));
}

std::optional<std::int64_t> MusicBrainzService::frontImageId(const std::string& releaseMbid,
                                                             std::stop_token stop) const {
  try {
    const auto listing =
        getJSON(web.sender(), web.coverArtArchive + "/release/" + percentEncoded(releaseMbid),
                std::move(stop));
    if (!listing) {
      return std::nullopt;
    }
    const JsonObjectReader archive(*listing, "");
    for (const auto& [front, id] : archive.optionalObjects("images", [](const auto& image) {
           return std::make_pair(image.optionalBoolean("front").value_or(false), imageId(image));
         })) {
      if (front) {
        return id;
      }
    }
  } catch (const platform::tasks::CancellationError&) {
    throw;
  } catch (const std::exception& error) {
    platform::log::diagnostic("MusicBrainz: no cover listing for release ", releaseMbid, ": ",
                              error.what());
  }
  return std::nullopt;
}

}  // namespace noru::musicbrainz
