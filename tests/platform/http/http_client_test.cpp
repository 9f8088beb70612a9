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

TEST(IsValidHttpUrl, AcceptsOnlyAbsoluteHttpAndHttpsAddresses) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"https://api.noru.app/v1/cd/lookup", true},
      {"HTTPS://Example.COM", true},
      {"file:///etc/passwd", false},
      {"apple_music:artist/123", false},
      {"example.com/path", false},
      {"https://", false},
      {std::string("https://example.com/\0.jpg", 25), false},
  };
  for (const auto& [url, valid] : cases) {
    EXPECT_EQ(isValidHttpUrl(url), valid) << url;
  }
}

TEST(HttpClient, FollowsRedirectsButNotEndlesslyAndKeepsBinaryBodiesIntact) {
  TestHttpServer server;
  const std::string image("\xFF\xD8\xFF\x00\x01jpeg", 9);
  server.respond("GET", "/image.jpg", 200, image, "image/jpeg");
  server.redirect("GET", "/release/abc/1-1200.jpg", server.url("/image.jpg"), 307);
  server.redirect("GET", "/moved", server.url("/release/abc/1-1200.jpg"), 301);
  EXPECT_EQ(HttpClient().send(get(server.url("/moved")), {}).body, image);

  server.redirect("GET", "/loop", server.url("/loop"));
  EXPECT_EQ(failureOf(get(server.url("/loop"))).kind(), Kind::tooManyRedirects);
}

// An address handed over by a server (an artist's thumbnail, say) must never make the program
// read a local file or speak another protocol, whether given directly or by a redirect.
TEST(HttpClient, NeverFetchesOtherSchemesNotEvenAfterARedirect) {
  TestHttpServer server;
  for (const std::string& target : {std::string("file:///etc/passwd"),
                                    "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"}) {
    SCOPED_TRACE(target);
    server.redirect("GET", "/thumb", target);

    const TransportError direct = failureOf(get(target));
    EXPECT_EQ(direct.kind(), Kind::badURL);
    EXPECT_STREQ(direct.what(), "The URL is not a valid http or https address.");
    EXPECT_EQ(failureOf(get(server.url("/thumb"))).kind(), Kind::unsupportedURL);
  }
  // Only the redirecting requests reached the server; no other protocol spoke to it.
  EXPECT_EQ(server.requests().size(), 2u);
}

// Refused as it arrives, before more than the limit is held in memory.
TEST(HttpClient, RefusesABodyOverTheLimit) {
  TestHttpServer server;
  server.streamBody("GET", "/largest", kMaxResponseBodyBytes);
  server.streamBody("GET", "/too-large", kMaxResponseBodyBytes + 1);
  EXPECT_EQ(HttpClient().send(get(server.url("/largest")), {}).body.size(), kMaxResponseBodyBytes);
  const TransportError error = failureOf(get(server.url("/too-large")));
  EXPECT_EQ(error.kind(), Kind::responseTooLarge);
  EXPECT_STREQ(error.what(), "The response exceeds the maximum size allowed.");
}

TEST(HttpClient, FailedExchangesLeaveNoThreadOrDescriptorBehind) {
  TestHttpServer server;
  server.stall("POST", "/silent");
  TestHttpServer closed;
  const std::string refusingURL = closed.url("/v1/cd/lookup");
  closed.stop();
  const auto threads = testing::liveThreadCount();
  const auto descriptors = testing::openFileDescriptorCount();

  const TransportError refused = failureOf(get(refusingURL));
  EXPECT_EQ(refused.kind(), Kind::cannotConnectToHost);
  EXPECT_STREQ(refused.what(), "Could not connect to the server.");
  EXPECT_EQ(testing::openFileDescriptorCount(), descriptors);

  // No byte for a second after the request went out. (The stalled server keeps its own end of
  // the connection open, so only threads are counted here.)
  const TransportError idle = failureOf(HttpRequest{.method = "POST",
                                                    .url = server.url("/silent"),
                                                    .body = "{}",
                                                    .idleTimeout = std::chrono::seconds(1)});
  EXPECT_EQ(idle.kind(), Kind::timedOut);
  EXPECT_STREQ(idle.what(), "The request timed out.");
  EXPECT_EQ(testing::liveThreadCount(), threads);
}

TEST(HttpClient, UntrustedCertificatesAreRefused) {
  TestHttpServer server(TestHttpServer::TlsFiles{
      .certificate = NORU_HTTP_TEST_DATA "/self_signed_certificate.pem",
      .privateKey = NORU_HTTP_TEST_DATA "/self_signed_key.pem",
  });
  server.respond("GET", "/secret", 200, "should not arrive");
  EXPECT_EQ(failureOf(get(server.url("/secret"))).kind(), Kind::serverCertificateUntrusted);
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

  task.cancel();
  // Without the cancellation the 60-second idle timeout would end it, as a transport error.
  EXPECT_THROW(task.value(), tasks::CancellationError);

  runner.shutdown();
  EXPECT_EQ(testing::liveThreadCount(), threadsBefore);
}

}  // namespace
}  // namespace noru::platform::http
