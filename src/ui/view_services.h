#pragma once

#include <string>

#include "lookup/search_cd.h"
#include "platform/http/http_client.h"

namespace noru::ui {

// The web services the views ask directly: the text search of the manual-entry sheet and the
// Cover Art Archive (cover previews).
struct ViewServices {
  lookup::SearchCD search;
  std::string coverArtArchiveBaseURL;
  platform::http::SendHttpRequest send = platform::http::sendHttpRequest;
};

}  // namespace noru::ui
