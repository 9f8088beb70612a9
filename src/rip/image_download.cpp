#include "rip/image_download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/tasks/cancellation_error.h"

namespace noru::rip {

GetOutcome getURL(const platform::http::SendHttpRequest& send, const std::string& url,
                  std::stop_token stop) {
  try {
    return send(platform::http::HttpRequest{.method = "GET", .url = url}, std::move(stop));
  } catch (const platform::tasks::CancellationError&) {
    return FailedRequest{"cancelled"};
  } catch (const platform::http::TransportError& error) {
    return FailedRequest{error.what(), error.meansUnreachable()};
  }
}

bool isSuccessStatus(long statusCode) {
  return statusCode >= 200 && statusCode <= 299;
}

namespace {

// Writes all of `bytes` to a new file at `path`; 0, or the errno of the step that failed.
int writeBytes(const std::filesystem::path& path, const std::string& bytes) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    return errno;
  }
  int error = 0;
  for (std::size_t written = 0; written < bytes.size() && error == 0;) {
    const ssize_t count = ::write(descriptor, bytes.data() + written, bytes.size() - written);
    if (count >= 0) {
      written += static_cast<std::size_t>(count);
    } else if (errno != EINTR) {
      error = errno;
    }
  }
  // A full disk may only show when the data is flushed at close.
  if (::close(descriptor) != 0 && error == 0) {
    error = errno;
  }
  return error;
}

}  // namespace

std::optional<std::string> writeNewFile(const std::filesystem::path& file, const std::string& bytes,
                                        const std::filesystem::path& shownAs) {
  if (const int error = writeBytes(file, bytes)) {
    return std::string("The file “") + (shownAs.empty() ? file : shownAs).filename().string() +
           "” couldn't be saved: " + std::strerror(error);
  }
  return std::nullopt;
}

}  // namespace noru::rip
