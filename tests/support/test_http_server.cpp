#include "support/test_http_server.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#if defined(__SANITIZE_THREAD__)
// cpp-httplib comes prebuilt, without ThreadSanitizer's instrumentation: its lock-free
// synchronisation (such as the guard checks of its lazily made statics) is invisible, so its
// own memory accesses through the sanitizer's memcpy/memcmp interceptors look unsynchronised
// between its worker threads. Reports from inside that library are dropped; all
// of our code, the handlers included, stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif

namespace noru::testing {
namespace {

// Enough for a few stalled requests at once plus the ones a test is still answering.
constexpr std::size_t kWorkerThreads = 4;

}  // namespace

std::size_t RecordedRequest::headerCount(const std::string& name) const {
  return headers.count(name);
}

std::string RecordedRequest::header(const std::string& name) const {
  const auto found = headers.find(name);
  return found == headers.end() ? std::string() : found->second;
}

TestHttpServer::TestHttpServer() : server_(std::make_unique<httplib::Server>()) {
  start();
}

TestHttpServer::TestHttpServer(const TlsFiles& tls)
    : server_(
          std::make_unique<httplib::SSLServer>(tls.certificate.c_str(), tls.privateKey.c_str())),
      tls_(true) {
  start();
}

TestHttpServer::~TestHttpServer() {
  stop();
}

void TestHttpServer::start() {
  if (!server_->is_valid()) {
    throw std::runtime_error("TestHttpServer: the server could not be set up");
  }
  // The pool is made on the listening thread once it runs; its threads all exist from then on,
  // so a test that counts the process's threads sees the same number before and after.
  server_->new_task_queue = [this] {
    auto* pool = new httplib::ThreadPool(kWorkerThreads);
    {
      std::lock_guard lock(mutex_);
      listening_ = true;
    }
    changed_.notify_all();
    return pool;
  };
  server_->set_keep_alive_timeout(1);
  auto dispatcher = [this](const httplib::Request& request, httplib::Response& response) {
    dispatch(request, response);
  };
  server_->Get(".*", dispatcher);
  server_->Post(".*", dispatcher);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    throw std::runtime_error("TestHttpServer: no port on 127.0.0.1");
  }
  listener_ = std::thread([this] { server_->listen_after_bind(); });
  // The listening socket already queues connections, but stop() only works once the server
  // runs.
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return listening_; });
}

void TestHttpServer::stop() {
  releaseStalls();
  if (listener_.joinable()) {
    server_->stop();
    listener_.join();
  }
}

std::string TestHttpServer::url(std::string_view path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(path);
}

void TestHttpServer::handle(const std::string& method, const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[{method, path}] = std::move(handler);
}

void TestHttpServer::respond(const std::string& method, const std::string& path, int status,
                             std::string body, std::string contentType) {
  handle(method, path,
         [status, body = std::move(body), contentType = std::move(contentType)](
             const httplib::Request&, httplib::Response& response) {
           response.status = status;
           response.set_content(body, contentType);
         });
}

void TestHttpServer::redirect(const std::string& method, const std::string& path,
                              std::string location, int status) {
  handle(method, path,
         [status, location = std::move(location)](const httplib::Request&,
                                                  httplib::Response& response) {
           response.set_redirect(location, status);
         });
}

void TestHttpServer::streamBody(const std::string& method, const std::string& path,
                                std::uint64_t byteCount, BodyLength length) {
  handle(method, path, [byteCount, length](const httplib::Request&, httplib::Response& response) {
    static const std::array<char, 64 * 1024> filler = [] {
      std::array<char, 64 * 1024> bytes{};
      bytes.fill('x');
      return bytes;
    }();
    auto writePiece = [byteCount](std::size_t offset, httplib::DataSink& sink) {
      if (offset >= byteCount) {
        sink.done();
        return true;
      }
      const auto piece = std::min<std::uint64_t>(filler.size(), byteCount - offset);
      return sink.write(filler.data(), static_cast<std::size_t>(piece));
    };
    if (length == BodyLength::announced) {
      response.set_content_provider(
          static_cast<std::size_t>(byteCount), "application/octet-stream",
          [writePiece](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            return writePiece(offset, sink);
          });
    } else {
      response.set_chunked_content_provider("application/octet-stream", writePiece);
    }
  });
}

void TestHttpServer::stall(const std::string& method, const std::string& path) {
  handle(method, path, [this](const httplib::Request&, httplib::Response& response) {
    waitWhileStalled();
    response.status = 503;
  });
}

void TestHttpServer::stallAfter(const std::string& method, const std::string& path,
                                std::string firstBytes) {
  if (firstBytes.empty()) {
    // An empty chunk would end the body instead of starting it.
    throw std::invalid_argument("TestHttpServer::stallAfter needs some first bytes");
  }
  handle(method, path,
         [this, firstBytes = std::move(firstBytes)](const httplib::Request&,
                                                    httplib::Response& response) {
           response.set_chunked_content_provider(
               "application/octet-stream",
               [this, firstBytes](std::size_t offset, httplib::DataSink& sink) {
                 if (offset == 0) {
                   return sink.write(firstBytes.data(), firstBytes.size());
                 }
                 waitWhileStalled();
                 sink.done();
                 return true;
               });
         });
}

void TestHttpServer::waitWhileStalled() {
  std::unique_lock lock(mutex_);
  ++stalls_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return released_; });
}

bool TestHttpServer::waitForStalls(std::size_t count, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] { return stalls_ >= count; });
}

void TestHttpServer::releaseStalls() {
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestHttpServer::dispatch(const httplib::Request& request, httplib::Response& response) {
  const std::string method = request.method == "HEAD" ? "GET" : request.method;
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(RecordedRequest{
        .method = request.method,
        .path = request.path,
        .headers = request.headers,
        .body = request.body,
    });
    const auto found = handlers_.find({method, request.path});
    if (found != handlers_.end()) {
      handler = found->second;
    }
  }
  if (!handler) {
    response.status = 404;
    response.set_content("no handler for " + method + " " + request.path, "text/plain");
    return;
  }
  handler(request, response);
}

}  // namespace noru::testing
