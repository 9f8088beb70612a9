#include "ctdb/fetch_ctdb_answer.h"

#include <chrono>

namespace noru::ctdb {

std::optional<std::vector<CTDBEntry>> FetchCTDBAnswer::operator()(const CTDBToc& toc,
                                                                  std::stop_token stop) const {
  platform::http::HttpRequest request;
  request.url = services_.cueToolsDatabase +
                "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=" + toc.text;
  // A server that stops answering gives the lookup up rather than holding it.
  request.idleTimeout = std::chrono::seconds(15);
  const auto response = services_.send(request, std::move(stop));
  if (response.statusCode == 404) {
    return std::nullopt;
  }
  if (response.statusCode < 200 || response.statusCode > 299) {
    throw CTDBAnswerError("CUETools database answered with status " +
                          std::to_string(response.statusCode));
  }
  auto entries = parseCTDBAnswer(response.body);
  if (!entries) {
    throw CTDBAnswerError("the CUETools database's answer is not one");
  }
  return entries;
}

}  // namespace noru::ctdb
