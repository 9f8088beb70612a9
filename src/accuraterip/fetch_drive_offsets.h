#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

#include "accuraterip/drive_offsets.h"
#include "platform/http/http_client.h"
#include "platform/http/service_addresses.h"

namespace noru::accuraterip {

// The AccurateRip drive offset list, downloaded once and then read from the user's cache.
// When `cacheFile` holds a readable list, that is the answer and nothing is sent. Otherwise one
// GET of baseURL + "/accuraterip/DriveOffsets.bin"; a list that parses is stored in
// `cacheFile` (written beside it under a temporary name, then renamed over it, so the cache
// never holds half a list) and returned. Failing to store it does not fail the call. Raises
// DriveOffsetsError (an unsuccessful status, a malformed list), platform::http::TransportError,
// platform::tasks::CancellationError.
class FetchDriveOffsets {
 public:
  DriveOffsets operator()(std::stop_token stop) const;

  // $XDG_CACHE_HOME/noru-cd-ripper/DriveOffsets.bin, or ~/.cache/... when XDG_CACHE_HOME is
  // unset or not absolute; empty (no cache) when HOME is not set either.
  static std::filesystem::path defaultCacheFile();

  std::string baseURL{platform::http::kAccurateRipBaseURL};
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
  std::filesystem::path cacheFile = defaultCacheFile();
};

}  // namespace noru::accuraterip
