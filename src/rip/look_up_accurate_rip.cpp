#include "rip/look_up_accurate_rip.h"

#include <exception>
#include <utility>

#include "accuraterip/database_answer_error.h"
#include "accuraterip/disc_identifiers.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/read_disc_layout.h"

namespace noru::rip {

using platform::log::diagnostic;
using Status = AccurateRipAnswer::Status;

AccurateRipAnswer LookUpAccurateRip::operator()(const std::string& bsdName,
                                                std::stop_token stop) const {
  AccurateRipAnswer answer{.status = Status::notReached};
  const auto layout = readDiscLayout(tocSource_, bsdName);
  const auto identifiers = layout ? accuraterip::DiscIdentifiers::from(*layout) : std::nullopt;
  if (!identifiers) {
    answer.status = Status::notAsked;
    answer.failure = "the disc's table of contents could not be read";
    diagnostic("LookUpAccurateRip: ", answer.failure);
    return answer;
  }
  try {
    auto pressings = fetchAnswer_(*identifiers, std::move(stop));
    answer.status = pressings ? Status::found : Status::notInDatabase;
    answer.pressings = pressings ? std::move(*pressings) : std::vector<accuraterip::Pressing>{};
    diagnostic("LookUpAccurateRip: ", identifiers->databasePath(), " \u2014 ",
               answer.pressings.size(), " pressing(s)");
  } catch (const platform::tasks::CancellationError&) {
    throw;
  } catch (const accuraterip::DatabaseAnswerError& error) {
    answer.status = Status::unreadable;
    answer.failure = error.what();
    diagnostic("LookUpAccurateRip: ", identifiers->databasePath(), " unreadable \u2014 ",
               error.what());
  } catch (const std::exception& error) {
    answer.failure = error.what();
    diagnostic("LookUpAccurateRip: ", identifiers->databasePath(), " failed \u2014 ", error.what());
  }
  return answer;
}

}  // namespace noru::rip
