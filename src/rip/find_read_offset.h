#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <utility>

#include "accuraterip/fetch_drive_offsets.h"
#include "disc/cd_drive.h"

namespace noru::rip {

// The read offset an import applies to a drive, and where it comes from.
struct ReadOffset {
  enum class Source {
    discImage,          // a disc image, read exactly as written: there is no offset
    driveOffsetList,    // the AccurateRip drive offset list
    notInList,          // the list does not know the drive: read uncorrected
    listUnavailable,    // the list could not be obtained: read uncorrected
    driveUnidentified,  // the drive reports no vendor and model: read uncorrected
  };

  std::int32_t samples = 0;
  Source source = Source::driveUnidentified;
  std::string failure;  // why the list could not be obtained

  // Whether `samples` is the drive's real offset, so that the reads are the disc's audio.
  bool isKnown() const { return source == Source::discImage || source == Source::driveOffsetList; }

  bool operator==(const ReadOffset&) const = default;
};

// Finds the read offset of `drive`: none for a disc image, else the drive offset list's entry
// for its vendor and model. A drive that cannot be found there is read uncorrected.
// Raises only platform::tasks::CancellationError.
class FindReadOffset {
 public:
  explicit FindReadOffset(platform::http::WebServices services)
      : fetchDriveOffsets_(std::move(services)) {}

  ReadOffset operator()(const disc::CDDrive& drive, std::stop_token stop) const;

 private:
  accuraterip::FetchDriveOffsets fetchDriveOffsets_;
};

}  // namespace noru::rip
