#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "disc/cd_lookup_release.h"

namespace noru::middleware {

// The name of an artist or album folder made from a release's text: the characters
// / \ : * ? " < > | and NUL removed, blanks trimmed from both ends, and at most 255 bytes (cut
// at a character boundary). A name that comes out empty, "." or ".." would not be a folder of
// its own inside the library, so `fallback` takes its place.
std::string libraryFolderName(std::string_view text, std::string_view fallback);

// Where an import of `release` goes: library / artist / album, always exactly two levels inside
// the library folder. Without a release: "Unknown Artist" / "CD Rip " and the local date and
// time of `now` ("yyyy-MM-dd HH.mm").
std::filesystem::path albumFolder(const std::filesystem::path& library,
                                  const std::optional<disc::CDLookupRelease>& release,
                                  std::chrono::system_clock::time_point now);

}  // namespace noru::middleware
