#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "ctdb/fetch_ctdb_answer.h"
#include "ctdb/parse_ctdb_answer.h"
#include "platform/linux/full_toc_source.h"
#include "rip/look_up_accurate_rip.h"

namespace noru::rip {

// What the CUETools database says about the disc in a drive.
struct CTDBAnswer {
  using Status = AccurateRipAnswer::Status;

  Status status = Status::notAsked;
  std::vector<ctdb::CTDBEntry> entries;  // with Status::found
  std::string failure;
};

// Asks the CUETools database about the disc in the drive whose medium is `bsdName`: reads the
// disc's full table of contents and fetches the entries for it. Raises only
// platform::tasks::CancellationError; every other failure is an answer.
class LookUpCTDB {
 public:
  LookUpCTDB(std::shared_ptr<platform::linux_cd::FullTocSource> tocSource,
             platform::http::WebServices services)
      : tocSource_(std::move(tocSource)), fetchAnswer_(std::move(services)) {}

  CTDBAnswer operator()(const std::string& bsdName, std::stop_token stop) const;

 private:
  std::shared_ptr<platform::linux_cd::FullTocSource> tocSource_;
  ctdb::FetchCTDBAnswer fetchAnswer_;
};

}  // namespace noru::rip
