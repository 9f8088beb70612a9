#include "rip/fetch_artist_image.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <system_error>

#include "platform/log/diagnostic_log.h"
#include "rip/image_download.h"

namespace noru::rip {
namespace {

using platform::log::diagnostic;

constexpr const char* kNonFatal = "RipCD: artist image download failed (non-fatal): ";

struct DecodingFailure {
  std::string description;
};

// The artist information of the metadata service: only "thumb_url" is read, a string or null.
std::optional<std::string> decodeThumbURL(const std::string& body) {
  const auto json = nlohmann::json::parse(body, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    throw DecodingFailure{"The data couldn't be read because it isn't in the correct format."};
  }
  const auto member = json.find("thumb_url");
  if (member == json.end() || member->is_null()) {
    return std::nullopt;
  }
  if (!member->is_string()) {
    throw DecodingFailure{
        "The data couldn't be read because it isn't in the correct format. (thumb_url is not "
        "a string)"};
  }
  return member->get<std::string>();
}

}  // namespace

std::optional<std::string> FetchArtistImage::pictureAddress(const std::string& artistMbid,
                                                            const std::string& infoAddress,
                                                            std::stop_token stop) const {
  auto info = getURL(services_.sender(), infoAddress, stop);
  if (const auto* failed = std::get_if<FailedRequest>(&info)) {
    if (!failed->unreachable || !secondSource_) {
      diagnostic(kNonFatal, failed->description);
      return std::nullopt;
    }
    try {
      return secondSource_(artistMbid, stop);
    } catch (const std::exception& error) {
      diagnostic("RipCD: MusicBrainz could not answer either: ", error.what());
      diagnostic(kNonFatal, failed->description);
      return std::nullopt;
    }
  }
  const auto& response = std::get<platform::http::HttpResponse>(info);
  if (!isSuccessStatus(response.statusCode)) {
    return std::nullopt;
  }
  try {
    return decodeThumbURL(response.body);
  } catch (const DecodingFailure& failure) {
    diagnostic(kNonFatal, failure.description);
    return std::nullopt;
  }
}

bool FetchArtistImage::operator()(const std::string& artistMbid, AlbumFolder& album,
                                  std::stop_token stop) const {
  std::error_code ignored;
  if (std::filesystem::exists(album.artistPicture(), ignored)) {
    return false;
  }
  const std::string infoAddress = services_.metadataService + "/v1/artists/" + artistMbid;
  if (!platform::http::isValidHttpUrl(infoAddress)) {
    return false;
  }
  diagnostic("RipCD: fetching artist info ", infoAddress);

  const auto thumbURL = pictureAddress(artistMbid, infoAddress, stop);
  // "apple_music:" names a picture in another catalogue, not an address to download.
  if (!thumbURL || thumbURL->empty() || thumbURL->starts_with("apple_music:") ||
      !platform::http::isValidHttpUrl(*thumbURL)) {
    return false;
  }

  auto image = getURL(services_.sender(), *thumbURL, stop);
  if (const auto* failed = std::get_if<FailedRequest>(&image)) {
    diagnostic(kNonFatal, failed->description);
    return false;
  }
  const auto& imageResponse = std::get<platform::http::HttpResponse>(image);
  if (!isSuccessStatus(imageResponse.statusCode) || imageResponse.body.empty()) {
    return false;
  }
  if (!album.saveArtistPicture(imageResponse.body)) {
    return false;
  }
  diagnostic("RipCD: artist folder.jpg saved → ", album.artistPicture());
  return true;
}

}  // namespace noru::rip
