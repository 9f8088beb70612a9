#include "rip/fetch_cover_art.h"

#include "platform/log/diagnostic_log.h"
#include "rip/image_download.h"

namespace noru::rip {

using platform::log::diagnostic;

std::optional<std::vector<std::uint8_t>> FetchCoverArt::operator()(
    std::int64_t caaId, const std::string& caaReleaseMbid, AlbumFolder& album,
    std::stop_token stop) const {
  const std::string address = services_.coverArtArchive + "/release/" + caaReleaseMbid + "/" +
                              std::to_string(caaId) + "-1200.jpg";
  if (!platform::http::isValidHttpUrl(address)) {
    diagnostic("RipCD: invalid cover art URL: ", address);
    return std::nullopt;
  }
  diagnostic("RipCD: downloading cover art from ", address);

  auto outcome = getURL(services_.sender(), address, std::move(stop));
  if (const auto* failed = std::get_if<FailedRequest>(&outcome)) {
    diagnostic("RipCD: cover art download failed (non-fatal): ", failed->description);
    return std::nullopt;
  }
  const auto& response = std::get<platform::http::HttpResponse>(outcome);
  if (!isSuccessStatus(response.statusCode) || response.body.empty()) {
    return std::nullopt;
  }
  if (auto failure = album.write(album.cover(), response.body)) {
    diagnostic("RipCD: cover art download failed (non-fatal): ", *failure);
    return std::nullopt;
  }
  diagnostic("RipCD: cover art saved to ", album.cover().filename());
  return std::vector<std::uint8_t>(response.body.begin(), response.body.end());
}

}  // namespace noru::rip
