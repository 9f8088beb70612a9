#pragma once

#include <exception>
#include <functional>
#include <string_view>

#include "platform/http/transport_error.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::lookup {

// Returns what `ask` gets from the metadata service, or, when the service cannot be reached at
// all (no host, no connection, TLS failure, timeout) and there is a `secondSource`, what that
// finds instead. An answer of the service, whatever its status or body, is never second-guessed.
// When the second source fails too, one diagnostic line says why and the service's own error
// is raised, as it would have been without it.
template <class Result>
Result askWithSecondSource(const std::function<Result()>& ask,
                           const std::function<Result()>& secondSource, std::string_view caller) {
  try {
    return ask();
  } catch (const platform::http::TransportError& error) {
    if (!secondSource || !error.meansUnreachable()) {
      throw;
    }
    const auto serviceError = std::current_exception();
    try {
      return secondSource();
    } catch (const platform::tasks::CancellationError&) {
      throw;
    } catch (const std::exception& secondError) {
      platform::log::diagnostic(caller,
                                ": MusicBrainz could not answer either: ", secondError.what());
    }
    std::rethrow_exception(serviceError);
  }
}

}  // namespace noru::lookup
