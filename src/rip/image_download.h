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

// Writes `bytes` to a new file at `file` (one that is there is an error) and closes it. The
// description of the failure, if any, naming the file `shownAs` (by default `file`).
std::optional<std::string> writeNewFile(const std::filesystem::path& file, const std::string& bytes,
                                        const std::filesystem::path& shownAs = {});

}  // namespace noru::rip
