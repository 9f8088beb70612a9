// Any text as the CUETools database's answer to a lookup: the decoder must neither fail nor
// return an entry that breaks the promises of CTDBEntry.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "ctdb/parse_ctdb_answer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto entries =
      noru::ctdb::parseCTDBAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& entry : entries ? *entries : std::vector<noru::ctdb::CTDBEntry>{}) {
    const bool syndromeFits =
        !entry.syndromes || entry.syndrome.size() == static_cast<std::size_t>(entry.npar);
    if (entry.id.empty() || entry.toc.empty() || entry.trackCRCs.empty() || entry.npar <= 0 ||
        entry.stride <= 0 || entry.confidence < 0 || !syndromeFits) {
      std::fprintf(stderr, "parse_ctdb_answer_fuzzer: an entry that is not one\n");
      std::abort();
    }
  }
  return 0;
}
