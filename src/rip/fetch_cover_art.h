#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "platform/http/http_client.h"
#include "platform/http/web_services.h"
#include "rip/album_folder.h"

namespace noru::rip {

// Downloads a release's 1200-pixel cover from the Cover Art Archive and saves it as the album's
// cover. Best effort: returns the image bytes, or nothing when any step failed.
class FetchCoverArt {
 public:
  explicit FetchCoverArt(platform::http::WebServices services = {})
      : services_(std::move(services)) {}

  std::optional<std::vector<std::uint8_t>> operator()(std::int64_t caaId,
                                                      const std::string& caaReleaseMbid,
                                                      AlbumFolder& album,
                                                      std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
};

}  // namespace noru::rip
