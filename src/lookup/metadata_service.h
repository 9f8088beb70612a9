#pragma once

#include <string_view>

namespace noru::lookup {

// The product's metadata web service. Fixed in the program: no file, variable or flag changes
// it. Operations that call the service hold it as a field so that tests can point them at a
// server of their own.
inline constexpr std::string_view kMetadataServiceBaseURL = "https://api.noru.app";

}  // namespace noru::lookup
