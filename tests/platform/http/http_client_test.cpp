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
      {"example.com/path", false},
      {"https://", false},
      {std::string("https://example.com/\0.jpg", 25), false},
  };
  for (const auto& [url, valid] : cases) {
    EXPECT_EQ(isValidHttpUrl(url), valid) << url;
  }
}

// A redirect is followed, but not endlessly. An address handed over by a server (an artist's
// thumbnail, say) must never make the program read a local file or speak another protocol,
// whether given directly or by a redirect.
TEST(HttpClient, FollowsRedirectsButNotEndlesslyNorToOtherSchemes) {
  TestHttpServer server;
  const std::string image("\xFF\xD8\xFF\x00\x01jpeg", 9);
  server.respond("GET", "/image.jpg", 200, image, "image/jpeg");
  server.redirect("GET", "/release/abc/1-1200.jpg", server.url("/image.jpg"), 307);
  server.redirect("GET", "/moved", server.url("/release/abc/1-1200.jpg"), 301);
  EXPECT_EQ(HttpClient().send(get(server.url("/moved")), {}).body, image);
  server.redirect("GET", "/loop", server.url("/loop"));
  EXPECT_EQ(failureOf(get(server.url("/loop"))).kind(), Kind::tooManyRedirects);

  const auto requestsBefore = server.requests().size();
  for (const std::string& target : {std::string("file:///etc/passwd"),
                                    "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"}) {
    SCOPED_TRACE(target);
    server.redirect("GET", "/thumb", target);
    EXPECT_EQ(failureOf(get(target)).kind(), Kind::badURL);
    EXPECT_EQ(failureOf(get(server.url("/thumb"))).kind(), Kind::unsupportedURL);
  }
  // Only the redirecting requests reached the server; no other protocol spoke to it.
  EXPECT_EQ(server.requests().size(), requestsBefore + 2);
}

// Refused as it arrives, before more than the limit is held in memory.
TEST(HttpClient, RefusesABodyOverTheLimit) {
  TestHttpServer server;
  server.streamBody("GET", "/largest", kMaxResponseBodyBytes);
  server.streamBody("GET", "/too-large", kMaxResponseBodyBytes + 1);
  EXPECT_EQ(HttpClient().send(get(server.url("/largest")), {}).body.size(), kMaxResponseBodyBytes);
  EXPECT_EQ(failureOf(get(server.url("/too-large"))).kind(), Kind::responseTooLarge);
}

// The journeys meet the service down and stalled, and find no thread or descriptor left; here,
// the kind of each failure.
TEST(HttpClient, ARefusedConnectionASilentServerAndACancelEachEndTheRequestTheirOwnWay) {
  TestHttpServer server;
  server.stall("GET", "/silent");
  TestHttpServer closed;
  const std::string refusingURL = closed.url("/v1/cd/lookup");
  closed.stop();

  EXPECT_EQ(failureOf(get(refusingURL)).kind(), Kind::cannotConnectToHost);
  // No byte for a second after the request went out.
  EXPECT_EQ(failureOf(get(server.url("/silent"), std::chrono::seconds(1))).kind(), Kind::timedOut);

  // Cancelling the task ends a stalled request at once, as a cancellation, not a transport error.
  const auto threadsBefore = testing::liveThreadCount();
  tasks::TaskRunner runner;
  auto task = runner.spawn(
      [&](std::stop_token stop) { return HttpClient().send(get(server.url("/silent")), stop); });
  ASSERT_TRUE(server.waitForStalls(2));
  task.cancel();
  EXPECT_THROW(task.value(), tasks::CancellationError);
  runner.shutdown();
  EXPECT_EQ(testing::liveThreadCount(), threadsBefore);
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

}  // namespace
}  // namespace noru::platform::http
