#include "rip/find_read_offset.h"

#include <exception>

#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::rip {

ReadOffset FindReadOffset::operator()(const disc::CDDrive& drive, std::stop_token stop) const {
  using platform::log::diagnostic;
  if (drive.isDiscImage) {
    return {0, ReadOffset::Source::discImage, {}};
  }
  if (drive.vendor.empty() && drive.model.empty()) {
    return {0, ReadOffset::Source::driveUnidentified, {}};
  }
  try {
    const auto offsets = fetchDriveOffsets_(std::move(stop));
    if (const auto samples = offsets.readOffset(drive.vendor, drive.model)) {
      return {*samples, ReadOffset::Source::driveOffsetList, {}};
    }
    diagnostic("FindReadOffset: '", drive.vendor, " - ", drive.model, "' is not in the list");
    return {0, ReadOffset::Source::notInList, {}};
  } catch (const platform::tasks::CancellationError&) {
    throw;
  } catch (const std::exception& error) {
    diagnostic("FindReadOffset: no drive offset list \u2014 ", error.what());
    return {0, ReadOffset::Source::listUnavailable, error.what()};
  }
}

}  // namespace noru::rip
