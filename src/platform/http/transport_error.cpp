#include "platform/http/transport_error.h"

namespace noru::platform::http {

TransportError::TransportError(Kind kind) : TransportError(kind, describe(kind)) {}

TransportError::TransportError(Kind kind, const std::string& description)
    : std::runtime_error(description), kind_(kind) {}

TransportError::TransportError(const std::string& description)
    : TransportError(Kind::other, description) {}

bool TransportError::meansUnreachable() const noexcept {
  switch (kind_) {
    case Kind::badURL:
    case Kind::unsupportedURL:
    case Kind::tooManyRedirects:
    case Kind::responseTooLarge:
      return false;
    default:
      return true;
  }
}

std::string TransportError::describe(Kind kind) {
  switch (kind) {
    case Kind::timedOut:
      return "The request timed out.";
    case Kind::cannotFindHost:
      return "A server with the specified hostname could not be found.";
    case Kind::cannotConnectToHost:
      return "Could not connect to the server.";
    case Kind::secureConnectionFailed:
      return "A TLS error occurred and a secure connection to the server could not be made.";
    case Kind::serverCertificateUntrusted:
      return "The certificate for this server is invalid.";
    case Kind::badURL:
      return "The URL is not a valid http or https address.";
    case Kind::unsupportedURL:
      return "The request was redirected to an address that is not http or https.";
    case Kind::tooManyRedirects:
      return "The request was redirected too many times.";
    case Kind::responseTooLarge:
      return "The response exceeds the maximum size allowed.";
    case Kind::networkConnectionLost:
      return "The network connection was lost.";
    case Kind::badServerResponse:
      return "The server returned a response that could not be understood.";
    case Kind::other:
      break;
  }
  return "The request failed.";
}

}  // namespace noru::platform::http
