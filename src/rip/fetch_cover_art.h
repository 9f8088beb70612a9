#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/http/http_client.h"
#include "platform/http/service_addresses.h"

namespace noru::rip {

// Downloads a release's 1200-pixel cover from the Cover Art Archive and saves it as cover.jpg
// in the album folder. Best effort: returns the image bytes, or nothing when any step failed.
class FetchCoverArt {
 public:
  std::optional<std::vector<std::uint8_t>> operator()(std::int64_t caaId,
                                                      const std::string& caaReleaseMbid,
                                                      const std::filesystem::path& albumFolder,
                                                      std::stop_token stop) const;

  std::string baseURL{platform::http::kCoverArtArchiveBaseURL};
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
};

}  // namespace noru::rip
