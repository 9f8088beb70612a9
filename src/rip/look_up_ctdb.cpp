#include "rip/look_up_ctdb.h"

#include <exception>

#include "ctdb/ctdb_toc.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/read_disc_layout.h"

namespace noru::rip {

using platform::log::diagnostic;
using Status = CTDBAnswer::Status;

CTDBAnswer LookUpCTDB::operator()(const std::string& bsdName, std::stop_token stop) const {
  const auto layout = readDiscLayout(tocSource_, bsdName);
  const auto toc = layout ? ctdb::CTDBToc::from(*layout) : std::nullopt;
  if (!toc) {
    diagnostic("LookUpCTDB: the disc's table of contents could not be read");
    return {.failure = "the disc's table of contents could not be read"};
  }
  CTDBAnswer answer{.status = Status::notReached};
  try {
    auto entries = fetchAnswer_(*toc, std::move(stop));
    answer.status = entries ? Status::found : Status::notInDatabase;
    answer.entries = entries ? std::move(*entries) : std::vector<ctdb::CTDBEntry>{};
    diagnostic("LookUpCTDB: ", toc->text, " \u2014 ", answer.entries.size(), " entries");
  } catch (const platform::tasks::CancellationError&) {
    throw;
  } catch (const ctdb::CTDBAnswerError& error) {
    answer.status = Status::unreadable;
    answer.failure = error.what();
  } catch (const std::exception& error) {
    answer.failure = error.what();
  }
  if (!answer.failure.empty()) {
    diagnostic("LookUpCTDB: ", toc->text, " \u2014 ", answer.failure);
  }
  return answer;
}

}  // namespace noru::rip
