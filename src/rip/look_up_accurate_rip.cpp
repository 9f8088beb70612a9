#include "rip/look_up_accurate_rip.h"

#include <exception>
#include <utility>

#include "accuraterip/disc_identifiers.h"
#include "disc/parse_full_toc.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::rip {

using platform::log::diagnostic;
using Status = AccurateRipAnswer::Status;

std::size_t AccurateRipAnswer::entryOf(std::int32_t startSector, std::int64_t number) const {
  if (layout) {
    for (const auto& track : layout->tracks) {
      if (!track.data && track.startLBA == startSector && track.number >= 1) {
        return static_cast<std::size_t>(track.number - 1);
      }
    }
  }
  return static_cast<std::size_t>(number > 0 ? number - 1 : 0);
}

AccurateRipAnswer LookUpAccurateRip::operator()(const std::string& bsdName,
                                                std::stop_token stop) const {
  AccurateRipAnswer answer{.status = Status::failed};
  const auto reply =
      tocSource ? tocSource->readFullToc(bsdName) : platform::linux_cd::FullTocReply{};
  if (reply.outcome == platform::linux_cd::FullTocReply::Outcome::ok) {
    answer.layout = disc::parseFullTOCLayout(reply.bytes);
  }
  const auto identifiers =
      answer.layout ? accuraterip::DiscIdentifiers::from(*answer.layout) : std::nullopt;
  if (!identifiers) {
    answer.failure = "the disc's table of contents could not be read";
    diagnostic("LookUpAccurateRip: ", answer.failure);
    return answer;
  }
  try {
    auto pressings = fetchAnswer(*identifiers, std::move(stop));
    answer.status = pressings ? Status::found : Status::notInDatabase;
    answer.pressings = pressings ? std::move(*pressings) : std::vector<accuraterip::Pressing>{};
    diagnostic("LookUpAccurateRip: ", identifiers->databasePath(), " \u2014 ",
               answer.pressings.size(), " pressing(s)");
  } catch (const platform::tasks::CancellationError&) {
    throw;
  } catch (const std::exception& error) {
    answer.failure = error.what();
    diagnostic("LookUpAccurateRip: ", identifiers->databasePath(), " failed \u2014 ", error.what());
  }
  return answer;
}

}  // namespace noru::rip
