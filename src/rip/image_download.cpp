#include "rip/image_download.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/tasks/cancellation_error.h"

namespace noru::rip {

GetOutcome getURL(const platform::http::SendHttpRequest& send, const std::string& url,
                  std::stop_token stop) {
  try {
    return send(platform::http::HttpRequest{.method = "GET", .url = url}, std::move(stop));
  } catch (const platform::tasks::CancellationError&) {
    return FailedRequest{"cancelled"};
  } catch (const platform::http::TransportError& error) {
    return FailedRequest{error.what()};
  }
}

bool isSuccessStatus(long statusCode) {
  return statusCode >= 200 && statusCode <= 299;
}

std::optional<std::string> writeImageFile(const std::filesystem::path& file,
                                          const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    return std::string("The file “") + file.filename().string() +
           "” couldn't be saved: " + std::strerror(errno);
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    return std::string("The file “") + file.filename().string() +
           "” couldn't be saved: " + std::strerror(errno);
  }
  return std::nullopt;
}

}  // namespace noru::rip
