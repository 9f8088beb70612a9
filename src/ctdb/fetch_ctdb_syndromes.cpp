#include "ctdb/fetch_ctdb_syndromes.h"

#include <chrono>
#include <string>

#include "ctdb/fetch_ctdb_answer.h"

namespace noru::ctdb {

std::vector<std::uint16_t> FetchCTDBSyndromes::operator()(const CTDBEntry& entry, int count,
                                                          std::stop_token stop) const {
  const std::string& address = entry.syndromes.value_or("");
  if (address.empty() || count <= 0 || count > entry.npar ||
      static_cast<std::size_t>(count) > entry.syndrome.size()) {
    throw CTDBAnswerError("the entry has no such syndromes");
  }
  const std::size_t words = static_cast<std::size_t>(count) * kColumns;
  platform::http::HttpRequest request;
  request.url = address.starts_with("http://") || address.starts_with("https://")
                    ? address
                    : services_.cueToolsDatabase + address;
  request.headers.emplace_back("Range", "bytes=0-" + std::to_string(2 * words - 1));
  request.idleTimeout = std::chrono::seconds(15);
  const auto response = services_.send(request, std::move(stop));
  if (response.statusCode != 200 && response.statusCode != 206) {
    throw CTDBAnswerError("the file of syndromes came with status " +
                          std::to_string(response.statusCode));
  }
  if (response.body.size() < 2 * words) {
    throw CTDBAnswerError("the file of syndromes is too short");
  }
  std::vector<std::uint16_t> syndromes(words);
  for (std::size_t at = 0; at < words; ++at) {
    syndromes[at] =
        static_cast<std::uint16_t>(static_cast<std::uint8_t>(response.body[2 * at]) |
                                   static_cast<std::uint8_t>(response.body[2 * at + 1]) << 8);
  }
  for (int i = 0; i < count; ++i) {
    if (syndromes[static_cast<std::size_t>(i) * kColumns] !=
        entry.syndrome[static_cast<std::size_t>(i)]) {
      throw CTDBAnswerError("the file of syndromes is not the entry's");
    }
  }
  return syndromes;
}

}  // namespace noru::ctdb
