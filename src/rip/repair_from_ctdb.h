#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "ctdb/disc_crcs.h"
#include "ctdb/fetch_ctdb_syndromes.h"
#include "ctdb/find_repair.h"
#include "ctdb/rip_syndromes.h"
#include "ctdb/verify_rip.h"
#include "rip/kept_audio.h"

namespace noru::rip {

// What a repair from the CUETools database's syndromes came to.
struct CTDBRepair {
  enum class Result {
    repaired,       // the disc now matches `match`
    notRepairable,  // no entry's syndromes put the kept audio right
    noSyndromes,    // no entry has syndromes to repair from
    notFetched,     // no entry's syndromes could be fetched
  };

  Result result = Result::notRepairable;
  ctdb::RipVerdict::DiscMatch match;
  std::map<std::size_t, std::int64_t> correctedSamples;  // by audio track index, with repaired
  std::string failure;                                   // with notFetched

  bool operator==(const CTDBRepair&) const = default;
};

// Repairs a rip that no entry of the CUETools database holds from the entries' files of
// syndromes, most confident entry first: finds the rip's offset against the entry (from column
// 0's syndromes, or, when column 0 is damaged, where a track's CRC is the entry's), fetches the
// first 4, 8 and then 16 syndromes of each column and after each tries to place every
// difference within the kept tracks. Corrections are made in the kept audio and kept only when
// the disc's CRC then is the entry's; `crcs` then holds the repaired audio's.
class RepairFromCTDB {
 public:
  explicit RepairFromCTDB(platform::http::WebServices services) : fetch_(std::move(services)) {}

  // `tracks`: where each audio track lies in the audio region, by index; the kept ones may be
  // corrected. Raises platform::tasks::CancellationError.
  CTDBRepair operator()(const std::vector<ctdb::CTDBEntry>& entries,
                        const ctdb::RipSyndromes& syndromes, ctdb::DiscCRCs& crcs, KeptAudio& kept,
                        const std::vector<ctdb::SampleRange>& tracks,
                        const std::stop_token& stop) const;

 private:
  ctdb::FetchCTDBSyndromes fetch_;
};

}  // namespace noru::rip
