#include "accuraterip/fetch_drive_offsets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace noru::accuraterip {
namespace {

std::span<const std::uint8_t> asBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::optional<DriveOffsets> readCache(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  try {
    return DriveOffsets::parse(asBytes(bytes));
  } catch (const DriveOffsetsError&) {
    return std::nullopt;  // a damaged cache is replaced by a fresh download
  }
}

// Writes `bytes` to a temporary file beside `file` and renames it over `file`. False (and no
// temporary file left) on any failure.
bool writeAtomically(const std::filesystem::path& file, std::string_view bytes) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::string temporary =
      (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
  const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) {
    return false;
  }
  bool written = true;
  for (std::size_t done = 0; written && done < bytes.size();) {
    const ssize_t n = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    written = n > 0;
    done += written ? static_cast<std::size_t>(n) : 0;
  }
  written = ::close(descriptor) == 0 && written;
  if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::filesystem::path FetchDriveOffsets::cacheFile() const {
  return services_.cacheFolder.empty() ? std::filesystem::path()
                                       : services_.cacheFolder / "DriveOffsets.bin";
}

DriveOffsets FetchDriveOffsets::operator()(std::stop_token stop) const {
  const auto cacheFile = this->cacheFile();
  if (!cacheFile.empty()) {
    if (auto cached = readCache(cacheFile)) {
      return *std::move(cached);
    }
  }
  platform::http::HttpRequest request;
  request.url = services_.accurateRip + "/accuraterip/DriveOffsets.bin";
  // An import waits for this answer: a server that stops answering must not hold it long.
  request.idleTimeout = std::chrono::seconds(15);
  const auto response = services_.send(request, std::move(stop));
  if (response.statusCode < 200 || response.statusCode > 299) {
    throw DriveOffsetsError("drive offset list answered with status " +
                            std::to_string(response.statusCode));
  }
  auto offsets = DriveOffsets::parse(asBytes(response.body));
  if (!cacheFile.empty()) {
    writeAtomically(cacheFile, response.body);  // best effort: the list is good either way
  }
  return offsets;
}

}  // namespace noru::accuraterip
