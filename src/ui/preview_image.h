#pragma once

#include <QImage>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

#include "platform/http/http_client.h"

namespace noru::ui {

// What one GET of a cover preview gave: the transport failure, or the status (-1 without one),
// the number of bytes and the image when they decode as one.
struct PreviewAnswer {
  std::optional<std::string> failure;
  long status = -1;
  std::size_t byteCount = 0;
  std::optional<QImage> image;
};

// The Cover Art Archive's 250-pixel rendition: base + "/release/" + mbid + "/" + id + "-250.jpg".
std::string coverPreviewURL(const std::string& coverArtArchiveBaseURL, std::int64_t caaId,
                            const std::string& caaReleaseMbid);

// One plain GET of `url`; blocks its (background) thread. The image is present only for a
// status from 200 to 299 and bytes that decode as an image.
PreviewAnswer fetchPreviewImage(const platform::http::SendHttpRequest& send, const std::string& url,
                                std::stop_token stop);

}  // namespace noru::ui
