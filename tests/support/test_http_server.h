#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace noru::testing {

// One request as the test server received it.
struct RecordedRequest {
  std::string method;
  std::string path;
  httplib::Headers headers;  // names compare case-insensitively
  std::string body;

  // How many times the header `name` was received, and its first value ("" when absent).
  std::size_t headerCount(const std::string& name) const;
  std::string header(const std::string& name) const;
};

// An HTTP server on 127.0.0.1 and an ephemeral port, running on threads of its own for the
// life of the object. Answers GET (and HEAD) and POST requests with the handlers registered
// for their exact path, 404 otherwise, and records every request it receives. Handlers may be
// registered at any time. Destruction releases stalled requests, stops the server and joins
// all of its threads.
class TestHttpServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // PEM files of the certificate and private key that an https server presents.
  struct TlsFiles {
    std::string certificate;
    std::string privateKey;
  };

  enum class BodyLength { announced, chunked };

  TestHttpServer();
  explicit TestHttpServer(const TlsFiles& tls);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" (https with TLS) followed by `path`.
  std::string url(std::string_view path = {}) const;

  // `method` is "GET" or "POST"; a later registration for the same method and path replaces
  // the earlier one.
  void handle(const std::string& method, const std::string& path, Handler handler);
  // Answers with `status` and `body`.
  void respond(const std::string& method, const std::string& path, int status, std::string body,
               std::string contentType = "application/json");
  // Answers with a redirect to `location`.
  void redirect(const std::string& method, const std::string& path, std::string location,
                int status = 302);
  // Answers 200 with `byteCount` filler bytes, produced piece by piece rather than held.
  void streamBody(const std::string& method, const std::string& path, std::uint64_t byteCount,
                  BodyLength length = BodyLength::chunked);
  // Accepts the request and then sends nothing until the stalls are released.
  void stall(const std::string& method, const std::string& path);
  // Sends the status line, headers and `firstBytes` (not empty) of a chunked body, then nothing
  // until the stalls are released.
  void stallAfter(const std::string& method, const std::string& path, std::string firstBytes);

  // Waits until `count` requests in all have reached their stall; false when `limit` passed.
  bool waitForStalls(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20));
  // Lets every stalled request, and every later one, go on.
  void releaseStalls();

  std::vector<RecordedRequest> requests() const;

  // Releases the stalls, stops listening and joins every thread. Idempotent.
  void stop();

 private:
  void start();
  void dispatch(const httplib::Request& request, httplib::Response& response);
  void waitWhileStalled();

  std::unique_ptr<httplib::Server> server_;
  int port_ = -1;
  bool tls_ = false;
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
