#include "middleware/album_folder.h"

#include <ctime>
#include <string>

#include "rip/track_file_name.h"

namespace noru::middleware {
namespace {

constexpr std::string_view kRemoved = std::string_view("/\\:*?\"<>|\0", 10);

std::string localDateAndTime(std::chrono::system_clock::time_point now) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H.%M", &local);
  return text;
}

}  // namespace

std::string libraryFolderName(std::string_view text, std::string_view fallback) {
  std::string kept;
  kept.reserve(text.size());
  for (char c : text) {
    if (kRemoved.find(c) == std::string_view::npos) {
      kept += c;
    }
  }
  const auto name =
      rip::trimBlanks(rip::cutAtCharacterBoundary(rip::trimBlanks(kept), rip::maxFileNameBytes));
  if (name.empty() || name == "." || name == "..") {
    return std::string(fallback);
  }
  return std::string(name);
}

std::filesystem::path albumFolder(const std::filesystem::path& library,
                                  const std::optional<disc::CDLookupRelease>& release,
                                  std::chrono::system_clock::time_point now) {
  if (!release) {
    return library / "Unknown Artist" / ("CD Rip " + localDateAndTime(now));
  }
  return library / libraryFolderName(release->artistCredit, "Unknown Artist") /
         libraryFolderName(release->title, "Unknown Album");
}

}  // namespace noru::middleware
