#include "support/test_http_server.h"

#include <algorithm>
#include <chrono>
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

TestHttpServer::TestHttpServer(std::unique_ptr<httplib::Server> server, bool tls)
    : server_(std::move(server)), tls_(tls) {
  if (!server_->is_valid()) {
    throw std::runtime_error("TestHttpServer: the server could not be set up");
  }
  // The pool is made on the listening thread once it runs; its threads all exist from then on,
  // so a test that counts the process's threads sees the same number before and after.
  server_->new_task_queue = [this] {
    auto* pool = new httplib::ThreadPool(4);  // room for a few stalled requests at once
    std::lock_guard lock(mutex_);
    listening_ = true;
    changed_.notify_all();
    return pool;
  };
  server_->set_keep_alive_timeout(1);
  const auto dispatch = [this](const httplib::Request& request, httplib::Response& response) {
    Handler handler;
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(
          {request.method, request.path, request.params, request.headers, request.body});
      const auto found = handlers_.find({request.method, request.path});
      handler = found == handlers_.end() ? nullptr : found->second;
    }
    if (handler) {
      handler(response);
    } else {
      response.status = 404;
    }
  };
  server_->Get(".*", dispatch);
  server_->Post(".*", dispatch);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) {
    throw std::runtime_error("TestHttpServer: no port on 127.0.0.1");
  }
  listener_ = std::thread([this] { server_->listen_after_bind(); });
  // The listening socket already queues connections, but stop() only works once it runs.
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

}  // namespace noru::testing
