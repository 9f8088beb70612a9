#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <variant>
#include <vector>

#include "platform/http/http_client.h"

namespace noru::rip {

// What became of a GET: an answer (any status), or the description of why none came.
struct FailedRequest {
  std::string description;
  bool unreachable = false;  // no server answered at all
};
using GetOutcome = std::variant<platform::http::HttpResponse, FailedRequest>;

GetOutcome getURL(const platform::http::SendHttpRequest& send, const std::string& url,
                  std::stop_token stop);

bool isSuccessStatus(long statusCode);

// Writes `bytes` to `file`, replacing it: they go to a temporary file beside it that takes its
// place in one rename once complete, so a failed write never leaves a truncated file and
// never harms the one that was there. The description of the failure, if any.
std::optional<std::string> writeFileAtomically(const std::filesystem::path& file,
                                               const std::string& bytes);

}  // namespace noru::rip
