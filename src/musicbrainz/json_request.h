#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/http/http_client.h"

namespace noru::musicbrainz {

// A public source that answered, but not with what was asked for (a status other than 2xx or
// 404). what() says which address and status.
class SourceError : public std::runtime_error {
 public:
  explicit SourceError(const std::string& what, long status = 0)
      : std::runtime_error(what), status_(status) {}

  // The HTTP status of the answer, 0 when the failure was not an answer's.
  long status() const noexcept { return status_; }

 private:
  long status_;
};

// One GET of a JSON document from a public web service (the client names the program in its
// User-Agent, as these services ask). The
// parsed document for a 2xx answer, nothing for 404 ("no such thing"). Raises SourceError for
// any other status, lookup::DecodingError for a body that is not JSON, TransportError and
// CancellationError as the exchange does.
std::optional<nlohmann::ordered_json> getJSON(const platform::http::SendHttpRequest& send,
                                              const std::string& url, std::stop_token stop);

// `text` with every byte but unreserved ones (letters, digits, "-._~") written as %XX, for a
// path segment or a query value.
std::string percentEncoded(std::string_view text);

}  // namespace noru::musicbrainz
