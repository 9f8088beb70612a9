#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "accuraterip/fetch_database_answer.h"
#include "accuraterip/pressing.h"
#include "disc/full_toc_layout.h"
#include "platform/linux/full_toc_source.h"

namespace noru::rip {

// What the AccurateRip database says about the disc in a drive.
struct AccurateRipAnswer {
  enum class Status {
    found,          // `pressings` holds the database's values
    notInDatabase,  // the database does not know the disc
    failed,         // no usable answer: `failure` says why
    notAsked,       // the reads are not the disc's audio (unknown read offset)
  };

  Status status = Status::notAsked;
  std::vector<accuraterip::Pressing> pressings;
  std::string failure;
  // The disc's full table of contents, when it was read.
  std::optional<disc::FullTOCLayout> layout;

  // The database entry of the audio track starting at `startSector`: its number on the disc
  // minus one. `number` (the track's place among the audio tracks) stands in when the table
  // of contents does not say.
  std::size_t entryOf(std::int32_t startSector, std::int64_t number) const;
};

// Asks the AccurateRip database about the disc in the drive whose medium is `bsdName`: reads
// the disc's full table of contents, works out its identifiers and fetches its entry. Raises
// only platform::tasks::CancellationError; every other failure is an answer.
class LookUpAccurateRip {
 public:
  AccurateRipAnswer operator()(const std::string& bsdName, std::stop_token stop) const;

  std::shared_ptr<platform::linux_cd::FullTocSource> tocSource;
  accuraterip::FetchDatabaseAnswer fetchAnswer;
};

}  // namespace noru::rip
