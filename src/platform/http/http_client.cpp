#include "platform/http/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/http/program_identity.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::platform::http {
namespace {

using Kind = TransportError::Kind;

// curl_global_init is not safe to race with other curl calls; every entry point passes here.
void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw TransportError("The HTTP client could not be initialised.");
    }
  });
}

struct CurlFree {
  void operator()(char* text) const { curl_free(text); }
};
struct CurlUrlCleanup {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlText = std::unique_ptr<char, CurlFree>;
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

CurlText urlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, 0) != CURLUE_OK) {
    return nullptr;
  }
  return CurlText(text);
}

using Clock = std::chrono::steady_clock;

// What one transfer and its callbacks share. Progress is any byte sent or received.
struct Exchange {
  std::stop_token stop;
  std::chrono::milliseconds idleTimeout;
  Clock::time_point lastProgress = Clock::now();
  curl_off_t bytesSent = 0;
  curl_off_t bytesReceived = 0;
  std::string body;
  bool tooLarge = false;

  void noteProgress(curl_off_t sent, curl_off_t received) {
    if (sent != bytesSent || received != bytesReceived) {
      bytesSent = sent;
      bytesReceived = received;
      lastProgress = Clock::now();
    }
  }
  std::chrono::milliseconds idleLeft() const {
    return idleTimeout -
           std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastProgress);
  }
};

std::size_t receiveBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto& exchange = *static_cast<Exchange*>(context);
  const std::size_t length = size * count;
  // Checked before appending, so that no more than the limit is ever held.
  if (length > kMaxResponseBodyBytes - exchange.body.size()) {
    exchange.tooLarge = true;
    return CURL_WRITEFUNC_ERROR;
  }
  try {
    exchange.body.append(data, length);
  } catch (...) {
    return CURL_WRITEFUNC_ERROR;
  }
  exchange.lastProgress = Clock::now();
  return length;
}

int reportProgress(void* context, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
  auto& exchange = *static_cast<Exchange*>(context);
  exchange.noteProgress(sent, received);
  return exchange.stop.stop_requested() ? 1 : 0;
}

// One easy handle inside a multi handle of its own. The multi handle is what lets another
// thread wake the transfer up the moment its task is cancelled.
class CurlTransfer {
 public:
  CurlTransfer() : multi_(curl_multi_init()), easy_(curl_easy_init()) {
    if (multi_ == nullptr || easy_ == nullptr) {
      release();
      throw TransportError("The HTTP client could not be initialised.");
    }
  }
  ~CurlTransfer() { release(); }
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  CURL* easy() const { return easy_; }

  template <class Value>
  void set(CURLoption option, Value value) {
    const CURLcode result = curl_easy_setopt(easy_, option, value);
    if (result != CURLE_OK) {
      throw TransportError(std::string("The HTTP client could not be configured (") +
                           curl_easy_strerror(result) + ").");
    }
  }

  // Callable from any thread while the transfer runs.
  void wakeUp() const { curl_multi_wakeup(multi_); }

  enum class Ending { finished, cancelled, idle };
  struct Outcome {
    Ending ending = Ending::finished;
    CURLcode result = CURLE_OK;
  };

  // Runs the transfer until it finishes, `exchange.stop` is requested (the wake-up makes that
  // prompt) or it has gone without progress for the idle timeout.
  Outcome run(const Exchange& exchange) {
    throwIfFailed(curl_multi_add_handle(multi_, easy_));
    added_ = true;
    int running = 1;
    for (;;) {
      throwIfFailed(curl_multi_perform(multi_, &running));
      if (running == 0) {
        break;
      }
      if (exchange.stop.stop_requested()) {
        return {Ending::cancelled};
      }
      const auto idleLeft = exchange.idleLeft();
      if (idleLeft <= std::chrono::milliseconds::zero()) {
        return {Ending::idle};
      }
      const auto wait = std::min(idleLeft, std::chrono::milliseconds(1000));
      throwIfFailed(curl_multi_poll(multi_, nullptr, 0, static_cast<int>(wait.count()), nullptr));
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
        return {Ending::finished, message->data.result};
      }
    }
    return {Ending::finished, CURLE_RECV_ERROR};
  }

 private:
  static void throwIfFailed(CURLMcode code) {
    if (code != CURLM_OK) {
      throw TransportError(std::string("The HTTP client failed (") + curl_multi_strerror(code) +
                           ").");
    }
  }

  void release() noexcept {
    if (added_) {
      curl_multi_remove_handle(multi_, easy_);
      added_ = false;
    }
    if (easy_ != nullptr) {
      curl_easy_cleanup(easy_);
      easy_ = nullptr;
    }
    if (multi_ != nullptr) {
      curl_multi_cleanup(multi_);
      multi_ = nullptr;
    }
  }

  CURLM* multi_;
  CURL* easy_;
  bool added_ = false;
};

bool isHeaderTextSafe(const std::string& text) {
  return text.find_first_of("\r\n") == std::string::npos && text.find('\0') == std::string::npos;
}

HeaderList buildHeaderList(const HttpRequest& request) {
  HeaderList list;
  auto append = [&list](const std::string& line) {
    curl_slist* extended = curl_slist_append(list.get(), line.c_str());
    if (extended == nullptr) {
      throw std::bad_alloc();
    }
    list.release();
    list.reset(extended);
  };
  for (const auto& [name, value] : request.headers) {
    if (name.empty() || !isHeaderTextSafe(name) || !isHeaderTextSafe(value) ||
        name.find(':') != std::string::npos) {
      throw std::invalid_argument("HttpRequest header is malformed: " + name);
    }
    // "Name;" is curl's way of sending a header with an empty value.
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  // Small bodies go out at once instead of waiting for "100 Continue".
  append("Expect:");
  return list;
}

long wholeSecondsAtLeastOne(std::chrono::milliseconds duration) {
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(duration).count();
  return static_cast<long>(std::max<std::chrono::seconds::rep>(seconds, 1));
}

Kind kindOf(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return Kind::timedOut;
    case CURLE_COULDNT_RESOLVE_HOST:
      return Kind::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
      return Kind::cannotConnectToHost;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_ISSUER_ERROR:
      return Kind::serverCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_USE_SSL_FAILED:
      return Kind::secureConnectionFailed;
    case CURLE_URL_MALFORMAT:
      return Kind::badURL;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return Kind::unsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS:
      return Kind::tooManyRedirects;
    case CURLE_FILESIZE_EXCEEDED:
      return Kind::responseTooLarge;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return Kind::networkConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP3:
      return Kind::badServerResponse;
    default:
      return Kind::other;
  }
}

TransportError transportErrorFor(CURLcode code) {
  const Kind kind = kindOf(code);
  if (kind == Kind::other) {
    return TransportError(std::string("The request failed (") + curl_easy_strerror(code) + ").");
  }
  return TransportError(kind);
}

}  // namespace

bool isValidHttpUrl(std::string_view url) {
  if (url.empty() || url.find('\0') != std::string_view::npos) {
    return false;
  }
  initialiseCurlOnce();
  std::unique_ptr<CURLU, CurlUrlCleanup> parsed(curl_url());
  if (parsed == nullptr ||
      curl_url_set(parsed.get(), CURLUPART_URL, std::string(url).c_str(), 0) != CURLUE_OK) {
    return false;
  }
  const CurlText scheme = urlPart(parsed.get(), CURLUPART_SCHEME);
  if (scheme == nullptr) {
    return false;
  }
  const std::string_view schemeText(scheme.get());
  if (schemeText != "http" && schemeText != "https") {
    return false;
  }
  const CurlText host = urlPart(parsed.get(), CURLUPART_HOST);
  return host != nullptr && *host != '\0';
}

HttpResponse HttpClient::send(const HttpRequest& request, std::stop_token stop) const {
  if (request.method != "GET" && request.method != "POST") {
    throw std::invalid_argument("HttpClient sends GET and POST only, not " + request.method);
  }
  if (!isValidHttpUrl(request.url)) {
    throw TransportError(Kind::badURL);
  }
  tasks::throwIfCancelled(stop);
  initialiseCurlOnce();

  // Declared before the transfer: curl reads the list until its handle is cleaned up.
  const HeaderList headers = buildHeaderList(request);
  Exchange exchange{.stop = stop, .idleTimeout = request.idleTimeout};
  CurlTransfer transfer;

  transfer.set(CURLOPT_URL, request.url.c_str());
  // Only http and https, also after a redirect: an address from a server must never make us
  // read a local file or speak another protocol.
  transfer.set(CURLOPT_PROTOCOLS_STR, "http,https");
  transfer.set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  transfer.set(CURLOPT_FOLLOWLOCATION, 1L);
  transfer.set(CURLOPT_MAXREDIRS, 16L);
  transfer.set(CURLOPT_NOSIGNAL, 1L);
  transfer.set(CURLOPT_SSL_VERIFYPEER, 1L);
  transfer.set(CURLOPT_SSL_VERIFYHOST, 2L);
  transfer.set(CURLOPT_USERAGENT, request.userAgent.c_str());
  transfer.set(CURLOPT_ACCEPT_ENCODING, "");
  transfer.set(CURLOPT_HTTPHEADER, headers.get());

  // Idle timeout: the transfer loop ends the exchange after that long without a byte sent or
  // received; curl's own low-speed check (less than a byte a second, measured over a few
  // seconds) and connect timeout stand behind it.
  transfer.set(CURLOPT_LOW_SPEED_LIMIT, 1L);
  transfer.set(CURLOPT_LOW_SPEED_TIME, wholeSecondsAtLeastOne(request.idleTimeout));
  transfer.set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.idleTimeout.count()));

  transfer.set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxResponseBodyBytes));
  transfer.set(CURLOPT_WRITEFUNCTION, &receiveBody);
  transfer.set(CURLOPT_WRITEDATA, static_cast<void*>(&exchange));
  transfer.set(CURLOPT_NOPROGRESS, 0L);
  transfer.set(CURLOPT_XFERINFOFUNCTION, &reportProgress);
  transfer.set(CURLOPT_XFERINFODATA, static_cast<void*>(&exchange));

  if (request.method == "POST") {
    transfer.set(CURLOPT_POST, 1L);
    transfer.set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    transfer.set(CURLOPT_POSTFIELDS, request.body.c_str());
  } else {
    transfer.set(CURLOPT_HTTPGET, 1L);
  }

  CurlTransfer::Outcome outcome;
  {
    // Destroyed before the transfer: a cancelling thread never touches a released handle.
    std::stop_callback wakeOnCancel(stop, [&transfer] { transfer.wakeUp(); });
    outcome = transfer.run(exchange);
  }
  if (outcome.ending == CurlTransfer::Ending::cancelled ||
      (outcome.result == CURLE_ABORTED_BY_CALLBACK && stop.stop_requested())) {
    throw tasks::CancellationError();
  }
  if (outcome.ending == CurlTransfer::Ending::idle) {
    throw TransportError(Kind::timedOut);
  }
  if (exchange.tooLarge) {
    throw TransportError(Kind::responseTooLarge);
  }
  if (outcome.result != CURLE_OK) {
    throw transportErrorFor(outcome.result);
  }

  long status = 0;
  curl_easy_getinfo(transfer.easy(), CURLINFO_RESPONSE_CODE, &status);
  return HttpResponse{.statusCode = status, .body = std::move(exchange.body)};
}

}  // namespace noru::platform::http
