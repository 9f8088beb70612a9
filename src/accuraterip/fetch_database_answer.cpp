#include "accuraterip/fetch_database_answer.h"

#include <chrono>
#include <cstdint>
#include <span>

#include "accuraterip/database_answer_error.h"
#include "accuraterip/parse_database_answer.h"

namespace noru::accuraterip {

std::optional<std::vector<Pressing>> FetchDatabaseAnswer::operator()(const DiscIdentifiers& disc,
                                                                     std::stop_token stop) const {
  platform::http::HttpRequest request;
  request.url = services_.accurateRip + disc.databasePath();
  // An import waits for this answer: a server that stops answering must not hold it long.
  request.idleTimeout = std::chrono::seconds(15);
  const auto response = services_.send(request, std::move(stop));
  if (response.statusCode == 404) {
    return std::nullopt;
  }
  if (response.statusCode < 200 || response.statusCode > 299) {
    throw DatabaseAnswerError("AccurateRip database answered with status " +
                              std::to_string(response.statusCode));
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(response.body.data());
  return parseDatabaseAnswer(std::span(bytes, response.body.size()), disc);
}

}  // namespace noru::accuraterip
