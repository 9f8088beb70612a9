#pragma once

#include <string>

#include "platform/http/http_client.h"

namespace noru::ui {

// The web services the views ask directly: the metadata service (the manual search) and the
// Cover Art Archive (cover previews).
struct ViewServices {
  std::string metadataServiceBaseURL;
  std::string coverArtArchiveBaseURL;
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
};

}  // namespace noru::ui
