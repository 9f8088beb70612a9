#pragma once

#include <string_view>

namespace noru::platform::http {

// The two web services the program talks to. Both are fixed in the program: no file, variable
// or flag changes them. Operations that call them hold the address as a field so that tests can
// point them at a server of their own.

// The product's metadata service: disc lookup, text search, artist information.
inline constexpr std::string_view kMetadataServiceBaseURL = "https://api.noru.app";

// The public Cover Art Archive, source of the album covers.
inline constexpr std::string_view kCoverArtArchiveBaseURL = "https://coverartarchive.org";

}  // namespace noru::platform::http
