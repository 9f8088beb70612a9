#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <utility>

#include "accuraterip/drive_offsets.h"
#include "platform/http/http_client.h"
#include "platform/http/web_services.h"

namespace noru::accuraterip {

// The AccurateRip drive offset list, downloaded once and then read from the cache folder.
// When the cache folder holds a readable list (DriveOffsets.bin), that is the answer and nothing
// is sent. Otherwise one GET of the database's address + "/accuraterip/DriveOffsets.bin"; a list
// that parses is stored in the cache folder (written beside its file under a temporary name,
// then renamed over it, so the cache never holds half a list) and returned. Failing to store it
// does not fail the call. Raises DriveOffsetsError (an unsuccessful status, a malformed list),
// platform::http::TransportError, platform::tasks::CancellationError.
class FetchDriveOffsets {
 public:
  explicit FetchDriveOffsets(platform::http::WebServices services)
      : services_(std::move(services)) {}

  DriveOffsets operator()(std::stop_token stop) const;

  // Where the list is kept: DriveOffsets.bin in the cache folder; empty without one.
  std::filesystem::path cacheFile() const;

 private:
  platform::http::WebServices services_;
};

}  // namespace noru::accuraterip
