#include "support/test_http_server.h"

#include <algorithm>
#include <stdexcept>

#if defined(__SANITIZE_THREAD__)
// cpp-httplib comes prebuilt without ThreadSanitizer's instrumentation, so its own lock-free
// synchronisation is invisible and its memory accesses look racy. Reports from inside it are
// dropped; our code, the handlers included, stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
#endif

namespace noru::testing {

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
    auto* pool = new httplib::ThreadPool(4);  // room for a few stalled requests at once
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
  {
    std::lock_guard lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
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
  handle(method, path, [=](httplib::Response& response) {
    response.status = status;
    response.set_content(body, contentType);
  });
}

void TestHttpServer::redirect(const std::string& method, const std::string& path,
                              std::string location, int status) {
  handle(method, path,
         [=](httplib::Response& response) { response.set_redirect(location, status); });
}

void TestHttpServer::streamBody(const std::string& method, const std::string& path,
                                std::size_t byteCount) {
  handle(method, path, [byteCount](httplib::Response& response) {
    static const std::string filler(64 * 1024, 'x');
    response.set_chunked_content_provider(
        "application/octet-stream", [byteCount](std::size_t offset, httplib::DataSink& sink) {
          if (offset >= byteCount) {
            sink.done();
            return true;
          }
          return sink.write(filler.data(), std::min(filler.size(), byteCount - offset));
        });
  });
}

void TestHttpServer::stall(const std::string& method, const std::string& path) {
  handle(method, path, [this](httplib::Response& response) {
    std::unique_lock lock(mutex_);
    ++stalls_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
    response.status = 503;
  });
}

bool TestHttpServer::waitForStalls(std::size_t count) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return stalls_ >= count; });
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void TestHttpServer::dispatch(const httplib::Request& request, httplib::Response& response) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back({request.method, request.path, request.headers, request.body});
    const auto found = handlers_.find({request.method, request.path});
    if (found != handlers_.end()) {
      handler = found->second;
    }
  }
  if (!handler) {
    response.status = 404;
    return;
  }
  handler(response);
}

}  // namespace noru::testing
