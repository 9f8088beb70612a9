#pragma once

#include <cstdint>
#include <stop_token>
#include <utility>
#include <vector>

#include "ctdb/parse_ctdb_answer.h"
#include "platform/http/web_services.h"

namespace noru::ctdb {

// Fetches the start of an entry's file of syndromes: S_0 of all 11,760 columns, then S_1 of all,
// and so on, little-endian words; so the first `count` syndromes of every column are the file's
// first count × 23,520 bytes, which a Range request asks for (a server that sends the whole file
// with 200 is fine too). The entry's address is relative to the database or absolute.
class FetchCTDBSyndromes {
 public:
  static constexpr std::size_t kColumns = 11760;

  explicit FetchCTDBSyndromes(platform::http::WebServices services)
      : services_(std::move(services)) {}

  // S_0 … S_(count − 1) of every column (S_i of column c at i × kColumns + c). Raises
  // CTDBAnswerError for an unsuccessful status, a file too short, or one whose column 0 is not
  // the entry's `syndrome` (another disc's file: it must not be used);
  // platform::http::TransportError, platform::tasks::CancellationError.
  std::vector<std::uint16_t> operator()(const CTDBEntry& entry, int count,
                                        std::stop_token stop) const;

 private:
  platform::http::WebServices services_;
};

}  // namespace noru::ctdb
