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

  static std::string describe(Kind kind);

 private:
  Kind kind_;
};

}  // namespace noru::platform::http
