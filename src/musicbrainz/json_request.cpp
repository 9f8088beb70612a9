#include "musicbrainz/json_request.h"

#include <utility>

#include "lookup/json_coding.h"

namespace noru::musicbrainz {

std::optional<nlohmann::ordered_json> getJSON(const platform::http::SendHttpRequest& send,
                                              const std::string& url, std::stop_token stop) {
  if (!platform::http::isValidHttpUrl(url)) {
    throw platform::http::TransportError(platform::http::TransportError::Kind::badURL);
  }
  const platform::http::HttpRequest request{
      .method = "GET",
      .url = url,
      .headers = {{"Accept", "application/json"}},
      .idleTimeout = std::chrono::seconds(15),
  };
  const auto response = send(request, std::move(stop));
  if (response.statusCode == 404) {
    return std::nullopt;
  }
  if (response.statusCode < 200 || response.statusCode > 299) {
    throw SourceError(url + " answered with status " + std::to_string(response.statusCode),
                      response.statusCode);
  }
  return lookup::parseJson(response.body);
}

std::string percentEncoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                            c == '~';
    if (unreserved) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace noru::musicbrainz
