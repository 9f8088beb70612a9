#include "platform/http/http_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/task_runner.h"
#include "support/process_resources.h"
#include "support/test_http_server.h"

namespace noru::platform::http {
namespace {

using Kind = TransportError::Kind;
using testing::TestHttpServer;

HttpRequest get(std::string url, std::chrono::milliseconds idleTimeout = std::chrono::seconds(60)) {
  return HttpRequest{.method = "GET", .url = std::move(url), .idleTimeout = idleTimeout};
}

// Runs the request and returns the transport error it raised.
TransportError failureOf(const HttpRequest& request) {
  try {
    HttpClient().send(request, {});
  } catch (const TransportError& error) {
    return error;
  }
  ADD_FAILURE() << request.url << " did not fail";
  return TransportError("no failure");
}

// A port on 127.0.0.1 where nothing listens any more.
int closedPort() {
  TestHttpServer server;
  const int port = server.port();
  server.stop();
  return port;
}

TEST(IsValidHttpUrl, AcceptsOnlyAbsoluteHttpAndHttpsAddresses) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"https://api.noru.app/v1/cd/lookup", true},
      {"http://127.0.0.1:8080/release/abc/123-1200.jpg", true},
      {"HTTPS://Example.COM", true},
      {"https://example.com/a?b=c#d", true},
      {"file:///etc/passwd", false},
      {"file://localhost/etc/passwd", false},
      {"ftp://example.com/file", false},
      {"gopher://example.com/", false},
      {"data:text/plain,hello", false},
      {"javascript:alert(1)", false},
      {"apple_music:artist/123", false},
      {"example.com/path", false},
      {"https://", false},
      {"https://exa mple.com/", false},
      {"https://example.com:99999/", false},
      {"", false},
      {std::string("https://example.com/\0.jpg", 25), false},
  };
  for (const auto& [url, valid] : cases) {
    EXPECT_EQ(isValidHttpUrl(url), valid) << url;
  }
}

TEST(HttpClient, ReturnsStatusAndBodyWhateverTheStatus) {
  TestHttpServer server;
  for (const int status : {200, 201, 404, 500, 503}) {
    SCOPED_TRACE(status);
    const std::string body = "{\"answer\":" + std::to_string(status) + "}";
    server.respond("POST", "/echo", status, body);
    const HttpResponse response = HttpClient().send(
        HttpRequest{.method = "POST",
                    .url = server.url("/echo"),
                    .headers = {{"Content-Type", "application/json"}, {"X-Trace", "a b"}},
                    .body = "{\"question\":1}"},
        {});
    EXPECT_EQ(response.statusCode, status);
    EXPECT_EQ(response.body, body);
  }
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 5u);
  EXPECT_EQ(received[0].method, "POST");
  EXPECT_EQ(received[0].path, "/echo");
  EXPECT_EQ(received[0].body, "{\"question\":1}");
  EXPECT_EQ(received[0].headerCount("Content-Type"), 1u);
  EXPECT_EQ(received[0].header("Content-Type"), "application/json");
  EXPECT_EQ(received[0].header("X-Trace"), "a b");
  EXPECT_EQ(received[0].headerCount("Expect"), 0u);
}

TEST(HttpClient, GetSendsNoBodyAndKeepsBinaryBodiesIntact) {
  TestHttpServer server;
  const std::string image("\xFF\xD8\xFF\x00\x01jpeg", 9);
  server.respond("GET", "/cover.jpg", 200, image, "image/jpeg");
  const HttpResponse response = HttpClient().send(get(server.url("/cover.jpg")), {});
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(response.body, image);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].method, "GET");
  EXPECT_EQ(server.requests()[0].body, "");
}

TEST(HttpClient, FollowsRedirectsToHttpAddresses) {
  TestHttpServer server;
  TestHttpServer archive;
  archive.respond("GET", "/image.jpg", 200, "jpeg bytes", "image/jpeg");
  server.redirect("GET", "/release/abc/1-1200.jpg", archive.url("/image.jpg"), 307);
  server.redirect("GET", "/moved", server.url("/release/abc/1-1200.jpg"), 301);

  const HttpResponse response = HttpClient().send(get(server.url("/moved")), {});
  EXPECT_EQ(response.statusCode, 200);
  EXPECT_EQ(response.body, "jpeg bytes");
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(archive.requests().size(), 1u);
}

TEST(HttpClient, NeverFetchesOtherSchemesNotEvenAfterARedirect) {
  TestHttpServer server;
  const std::string port = std::to_string(server.port());
  for (const std::string& target :
       {std::string("file:///etc/passwd"), "ftp://127.0.0.1:" + port + "/x",
        "dict://127.0.0.1:" + port + "/x", "gopher://127.0.0.1:" + port + "/x"}) {
    SCOPED_TRACE(target);
    server.redirect("GET", "/thumb", target);

    const TransportError direct = failureOf(get(target));
    EXPECT_EQ(direct.kind(), Kind::badURL);
    EXPECT_STREQ(direct.what(), "The URL is not a valid http or https address.");

    const TransportError redirected = failureOf(get(server.url("/thumb")));
    EXPECT_EQ(redirected.kind(), Kind::unsupportedURL);
  }
  // Only the four redirecting requests reached the server; no other protocol spoke to it.
  EXPECT_EQ(server.requests().size(), 4u);
}

TEST(HttpClient, EndlessRedirectsFail) {
  TestHttpServer server;
  server.redirect("GET", "/loop", server.url("/loop"));
  EXPECT_EQ(failureOf(get(server.url("/loop"))).kind(), Kind::tooManyRedirects);
}

TEST(HttpClient, BodiesOverTheLimitAreRefused) {
  TestHttpServer server;
  server.streamBody("GET", "/announced", kMaxResponseBodyBytes + 1,
                    TestHttpServer::BodyLength::announced);
  server.streamBody("GET", "/chunked", kMaxResponseBodyBytes + 1,
                    TestHttpServer::BodyLength::chunked);
  for (const std::string path : {"/announced", "/chunked"}) {
    SCOPED_TRACE(path);
    const TransportError error = failureOf(get(server.url(path)));
    EXPECT_EQ(error.kind(), Kind::responseTooLarge);
    EXPECT_STREQ(error.what(), "The response exceeds the maximum size allowed.");
  }
}

TEST(HttpClient, ABodyOfExactlyTheLimitArrivesWhole) {
  TestHttpServer server;
  server.streamBody("GET", "/largest", kMaxResponseBodyBytes);
  const HttpResponse response = HttpClient().send(get(server.url("/largest")), {});
  EXPECT_EQ(response.body.size(), kMaxResponseBodyBytes);
}

TEST(HttpClient, TimesOutAfterTheIdleTimeoutWithoutProgressAndLeavesNoThreadBehind) {
  TestHttpServer server;
  server.stall("POST", "/silent");
  server.stallAfter("POST", "/trickle", "first bytes");
  const auto threads = testing::liveThreadCount();
  for (const std::string path : {"/silent", "/trickle"}) {
    SCOPED_TRACE(path);
    const TransportError error = failureOf(HttpRequest{.method = "POST",
                                                       .url = server.url(path),
                                                       .body = "{}",
                                                       .idleTimeout = std::chrono::seconds(1)});
    EXPECT_EQ(error.kind(), Kind::timedOut);
    EXPECT_STREQ(error.what(), "The request timed out.");
  }
  EXPECT_EQ(testing::liveThreadCount(), threads);
}

TEST(HttpClient, RefusedConnectionFailsAndLeavesNothingBehind) {
  const std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/v1/cd/lookup";
  const auto threads = testing::liveThreadCount();
  const auto descriptors = testing::openFileDescriptorCount();

  const TransportError error = failureOf(get(url));
  EXPECT_EQ(error.kind(), Kind::cannotConnectToHost);
  EXPECT_STREQ(error.what(), "Could not connect to the server.");

  EXPECT_EQ(testing::liveThreadCount(), threads);
  EXPECT_EQ(testing::openFileDescriptorCount(), descriptors);
}

TEST(HttpClient, UntrustedCertificatesAreRefused) {
  TestHttpServer server(TestHttpServer::TlsFiles{
      .certificate = NORU_HTTP_TEST_DATA "/self_signed_certificate.pem",
      .privateKey = NORU_HTTP_TEST_DATA "/self_signed_key.pem",
  });
  server.respond("GET", "/secret", 200, "should not arrive");
  const TransportError error = failureOf(get(server.url("/secret")));
  EXPECT_EQ(error.kind(), Kind::serverCertificateUntrusted);
  EXPECT_TRUE(server.requests().empty());
}

TEST(HttpClient, CancellingTheTaskEndsAStalledRequestPromptly) {
  TestHttpServer server;
  server.stall("GET", "/silent");
  const auto threadsBefore = testing::liveThreadCount();
  tasks::TaskRunner runner;
  auto task = runner.spawn(
      [&](std::stop_token stop) { return HttpClient().send(get(server.url("/silent")), stop); });
  ASSERT_TRUE(server.waitForStalls(1));

  const auto cancelledAt = std::chrono::steady_clock::now();
  task.cancel();
  EXPECT_THROW(task.value(), tasks::CancellationError);
  // Far below the 60-second idle timeout that would otherwise end it.
  EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, std::chrono::seconds(5));

  runner.shutdown();
  EXPECT_EQ(testing::liveThreadCount(), threadsBefore);
}

TEST(HttpClient, AnAlreadyCancelledTaskSendsNothing) {
  TestHttpServer server;
  server.respond("GET", "/never", 200, "");
  std::stop_source source;
  source.request_stop();
  EXPECT_THROW(HttpClient().send(get(server.url("/never")), source.get_token()),
               tasks::CancellationError);
  EXPECT_TRUE(server.requests().empty());
}

TEST(HttpClient, RejectsMalformedRequests) {
  TestHttpServer server;
  EXPECT_THROW(HttpClient().send(HttpRequest{.method = "DELETE", .url = server.url("/")}, {}),
               std::invalid_argument);
  EXPECT_THROW(
      HttpClient().send(
          HttpRequest{.url = server.url("/"), .headers = {{"X-Evil", "a\r\nHost: elsewhere"}}}, {}),
      std::invalid_argument);
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace noru::platform::http
