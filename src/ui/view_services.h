#pragma once

#include <string>

#include "lookup/search_cd.h"
#include "platform/http/web_services.h"

namespace noru::ui {

// The web services the views ask directly: the text search of the manual-entry sheet, and the
// Cover Art Archive of `web` for the cover previews.
struct ViewServices {
  lookup::SearchCD search;
  platform::http::WebServices web;
};

}  // namespace noru::ui
