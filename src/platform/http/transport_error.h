#pragma once

#include <stdexcept>
#include <string>

namespace noru::platform::http {

// An exchange that produced no response. what() is the short human-readable description that
// the window shows after a failed lookup, e.g. "The request timed out.".
class TransportError : public std::runtime_error {
 public:
  enum class Kind {
    timedOut,
    cannotFindHost,
    cannotConnectToHost,
    secureConnectionFailed,
    serverCertificateUntrusted,
    badURL,
    unsupportedURL,
    tooManyRedirects,
    responseTooLarge,
    networkConnectionLost,
    badServerResponse,
    other,
  };

  // The standard description of `kind`.
  explicit TransportError(Kind kind);
  TransportError(Kind kind, const std::string& description);
  // A failure of no particular kind, described by `description`.
  explicit TransportError(const std::string& description);

  Kind kind() const noexcept { return kind_; }

  // True when no server answered at all (no host, refused or lost connection, TLS failure,
  // timeout), as opposed to a request we could not form or an answer we would not take.
  bool meansUnreachable() const noexcept;

  static std::string describe(Kind kind);

 private:
  Kind kind_;
};

}  // namespace noru::platform::http
