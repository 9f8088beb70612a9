#pragma once

#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace noru::testing {

// One request as the test server received it; header names compare case-insensitively.
struct RecordedRequest {
  std::string method;
  std::string path;
  httplib::Params params;  // the query, decoded
  httplib::Headers headers;
  std::string body;
};

// An HTTP server on 127.0.0.1 and an ephemeral port, running on threads of its own for the
// life of the object. Answers GET and POST requests with the answer set up for their exact
// path (at any time), 404 otherwise, and records every request. Destruction releases stalled
// requests, stops the server and joins all of its threads.
class TestHttpServer {
 public:
  // PEM files of the certificate and private key that an https server presents.
  struct TlsFiles {
    std::string certificate;
    std::string privateKey;
  };

  TestHttpServer() : TestHttpServer(std::make_unique<httplib::Server>(), false) {}
  explicit TestHttpServer(const TlsFiles& tls)
      : TestHttpServer(
            std::make_unique<httplib::SSLServer>(tls.certificate.c_str(), tls.privateKey.c_str()),
            true) {}
  ~TestHttpServer() { stop(); }
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (https with TLS) followed by `path`.
  std::string url(std::string_view path = {}) const {
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) +
           std::string(path);
  }

  // `method` is "GET" or "POST"; a later answer for the same method and path replaces the
  // earlier one.
  void respond(const std::string& method, const std::string& path, int status, std::string body,
               std::string contentType = "application/json");
  void redirect(const std::string& method, const std::string& path, std::string location,
                int status = 302);
  // Answers 200 with a chunked body of `byteCount` filler bytes, made piece by piece.
  void streamBody(const std::string& method, const std::string& path, std::size_t byteCount);
  // Accepts the request and then sends nothing until the server stops.
  void stall(const std::string& method, const std::string& path);
  // Waits until `count` requests in all have reached their stall; false after 20 seconds.
  bool waitForStalls(std::size_t count);

  std::vector<RecordedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

  // Releases the stalls, stops listening and joins every thread. Idempotent.
  void stop();

 private:
  using Handler = std::function<void(httplib::Response&)>;

  TestHttpServer(std::unique_ptr<httplib::Server> server, bool tls);
  void handle(const std::string& method, const std::string& path, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[{method, path}] = std::move(handler);
  }

  std::unique_ptr<httplib::Server> server_;
  bool tls_;
  int port_ = -1;
  std::thread listener_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::pair<std::string, std::string>, Handler> handlers_;
  std::vector<RecordedRequest> requests_;
  std::size_t stalls_ = 0;
  bool released_ = false;
  bool listening_ = false;
};

}  // namespace noru::testing
