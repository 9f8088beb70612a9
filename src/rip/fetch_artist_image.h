#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

#include "platform/http/http_client.h"
#include "platform/http/service_addresses.h"

namespace noru::rip {

// Saves the artist's picture as folder.jpg in the artist folder, once per artist: the metadata
// service tells where the picture is. Best effort: every failure just ends the step. True when
// this call saved the picture (a folder.jpg that was already there is never replaced).
class FetchArtistImage {
 public:
  bool operator()(const std::string& artistMbid, const std::filesystem::path& artistFolder,
                  std::stop_token stop) const;

  std::string baseURL{platform::http::kMetadataServiceBaseURL};
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
};

}  // namespace noru::rip
