#pragma once

#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "ctdb/ctdb_toc.h"
#include "ctdb/parse_ctdb_answer.h"
#include "platform/http/web_services.h"

namespace noru::ctdb {

// The CUETools database answered, but not with a usable answer: a status other than success or
// "not found", or a body that is not a well-formed answer.
class CTDBAnswerError : public std::runtime_error {
 public:
  explicit CTDBAnswerError(const std::string& what) : std::runtime_error(what) {}
};

// Asks the CUETools database what it holds for a disc: one GET of
// <database>/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=<the disc's TOC text>. The
// entries, or nothing when the database does not know the disc (404). Raises CTDBAnswerError,
// platform::http::TransportError when no answer came, platform::tasks::CancellationError.
class FetchCTDBAnswer {
 public:
  explicit FetchCTDBAnswer(platform::http::WebServices services) : services_(std::move(services)) {}

  std::optional<std::vector<CTDBEntry>> operator()(const CTDBToc& toc, std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
};

}  // namespace noru::ctdb
