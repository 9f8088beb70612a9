#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>

#include "platform/http/http_client.h"
#include "platform/http/web_services.h"
#include "rip/album_folder.h"

namespace noru::rip {

// Saves the artist's picture as folder.jpg in the artist folder, once per artist: the metadata
// service tells where the picture is (or, when it cannot be reached, the second source). Best
// effort: every failure just ends the step. True when this call saved the picture (a folder.jpg
// that was already there is never replaced).
class FetchArtistImage {
 public:
  // Where the picture is, asked when the metadata service cannot be reached at all: its
  // address, or nothing when there is no picture; raises when it cannot tell.
  using SecondSource =
      std::function<std::optional<std::string>(const std::string& artistMbid, std::stop_token)>;

  explicit FetchArtistImage(platform::http::WebServices services = {},
                            SecondSource secondSource = {})
      : services_(std::move(services)), secondSource_(std::move(secondSource)) {}

  // Saves the picture as the artist folder's picture of `album`.
  bool operator()(const std::string& artistMbid, AlbumFolder& album, std::stop_token stop) const;

 private:
  // Where the picture is: "thumb_url" of the service's artist information, or the second
  // source's answer when the service cannot be reached. Nothing (with a line saying why when
  // something failed) when there is none to be had.
  std::optional<std::string> pictureAddress(const std::string& artistMbid,
                                            const std::string& infoAddress,
                                            std::stop_token stop) const;

  platform::http::WebServices services_;
  SecondSource secondSource_;
};

}  // namespace noru::rip
