#include "ui/preview_image.h"

#include "platform/http/transport_error.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::ui {

std::string coverPreviewURL(const std::string& coverArtArchiveBaseURL, std::int64_t caaId,
                            const std::string& caaReleaseMbid) {
  return coverArtArchiveBaseURL + "/release/" + caaReleaseMbid + "/" + std::to_string(caaId) +
         "-250.jpg";
}

PreviewAnswer fetchPreviewImage(const platform::http::SendHttpRequest& send, const std::string& url,
                                std::stop_token stop) {
  PreviewAnswer answer;
  try {
    const auto response =
        send(platform::http::HttpRequest{.method = "GET", .url = url}, std::move(stop));
    answer.status = response.statusCode > 0 ? response.statusCode : -1;
    answer.byteCount = response.body.size();
    if (answer.status >= 200 && answer.status <= 299) {
      QImage image;
      if (image.loadFromData(reinterpret_cast<const uchar*>(response.body.data()),
                             static_cast<int>(response.body.size()))) {
        answer.image = std::move(image);
      }
    }
  } catch (const platform::http::TransportError& error) {
    answer.failure = error.what();
  } catch (const platform::tasks::CancellationError&) {
    answer.failure = "cancelled";
  }
  return answer;
}

}  // namespace noru::ui
