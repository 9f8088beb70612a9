#pragma once

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "accuraterip/fetch_database_answer.h"
#include "accuraterip/pressing.h"
#include "platform/linux/full_toc_source.h"

namespace noru::rip {

// What the AccurateRip database says about the disc in a drive.
struct AccurateRipAnswer {
  enum class Status {
    found,          // `pressings` holds the database's values
    notInDatabase,  // the database does not know the disc
    notReached,     // no answer came: `failure` says why
    unreadable,     // an answer came that is not one: `failure` says how
    notAsked,       // there was nothing to ask with: `failure` says why
  };

  Status status = Status::notAsked;
  // One entry per audio track in each, in disc order (data tracks have none).
  std::vector<accuraterip::Pressing> pressings;
  std::string failure;
};

// Asks the AccurateRip database about the disc in the drive whose medium is `bsdName`: reads
// the disc's full table of contents, works out its identifiers and fetches its entry. Raises
// only platform::tasks::CancellationError; every other failure is an answer.
class LookUpAccurateRip {
 public:
  LookUpAccurateRip(std::shared_ptr<platform::linux_cd::FullTocSource> tocSource,
                    platform::http::WebServices services)
      : tocSource_(std::move(tocSource)), fetchAnswer_(std::move(services)) {}

  AccurateRipAnswer operator()(const std::string& bsdName, std::stop_token stop) const;

 private:
  std::shared_ptr<platform::linux_cd::FullTocSource> tocSource_;
  accuraterip::FetchDatabaseAnswer fetchAnswer_;
};

}  // namespace noru::rip
