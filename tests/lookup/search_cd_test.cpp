#include "lookup/search_cd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

#include "lookup/json_coding.h"
#include "support/captured_log.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::HttpRequest;
using platform::http::HttpResponse;
using platform::http::TransportError;
using testing::TestHttpServer;

// Only the sector counts matter to the search.
std::vector<disc::CDTrackInfo> tracksOfSectors(std::initializer_list<std::int32_t> counts) {
  std::vector<disc::CDTrackInfo> tracks;
  for (const auto count : counts) {
    tracks.push_back({.sectorCount = count});
  }
  return tracks;
}

constexpr const char* kOneRelease =
    R"({"releases":[{"release_mbid":"r","title":"T","artist_credit":"A","tracks":[]}]})";

class SearchCDExchange : public ::testing::Test {
 protected:
  SearchCDExchange() { search.baseURL = server.url(); }

  TestHttpServer server;
  SearchCD search;
  testing::CapturedLog log;
};

TEST_F(SearchCDExchange, PostsTheTypedTextsUntrimmedWithTheDurations) {
  server.respond("POST", "/v1/cd/search", 200, kOneRelease);
  search("  The Artist ", "Album\t", tracksOfSectors({603, 75, 1, 609}), {});

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/v1/cd/search");
  EXPECT_EQ(requests[0].headers.count("Content-Type"), 1u);
  EXPECT_EQ(requests[0].headers.find("Content-Type")->second, "application/json");
  const std::string& body = requests[0].body;
  EXPECT_EQ(nlohmann::ordered_json::parse(body).dump(), body) << "not compact";
  // Sectors / 75.0 * 1000.0, truncated: 603 and 609 sectors fall just short of 8040 and 8120.
  EXPECT_EQ(json::parse(body), (json{{"artist", "  The Artist "},
                                     {"album", "Album\t"},
                                     {"track_durations_ms", {8039, 1000, 13, 8119}}}));
}

TEST_F(SearchCDExchange, WritesItsThreeLinesAndIgnoresTheStatus) {
  server.respond("POST", "/v1/cd/search", 404, kOneRelease);
  const auto response = search("Artist", "Album", std::vector<disc::CDTrackInfo>(12), {});
  ASSERT_EQ(response.releases.size(), 1u);
  EXPECT_EQ(response.releases[0].releaseMbid, "r");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "SearchCD: searching for 'Artist' \u2014 'Album' (12 tracks)",
                             "SearchCD: response status 404, " +
                                 std::to_string(std::string(kOneRelease).size()) + " bytes",
                             "SearchCD: 1 release(s) returned",
                         }));
}

TEST_F(SearchCDExchange, AnUndecodableBodyWritesTwoLines) {
  server.respond("POST", "/v1/cd/search", 500, "<html>oops</html>", "text/html");
  EXPECT_THROW(search("A", "B", tracksOfSectors({75}), {}), DecodingError);
  EXPECT_EQ(log.lines().size(), 2u);
  EXPECT_TRUE(log.contains("SearchCD: response status 500, 17 bytes"));
}

TEST_F(SearchCDExchange, AFailedExchangeWritesOnlyTheFirstLineAndABadAddressNone) {
  search.send = [](const HttpRequest&, std::stop_token) -> HttpResponse {
    throw TransportError(TransportError::Kind::timedOut);
  };
  EXPECT_THROW(search("A", "B", tracksOfSectors({75}), {}), TransportError);
  EXPECT_EQ(log.lines(),
            std::vector<std::string>{"SearchCD: searching for 'A' \u2014 'B' (1 tracks)"});

  log.clear();
  search.baseURL = "file:///tmp";
  EXPECT_THROW(search("A", "B", {}, {}), TransportError);
  EXPECT_TRUE(log.lines().empty());
}

// The shipped timeout is checked as a value; the client's own tests wait for a short one.
TEST(SearchCD, SendsToTheServiceWithAThirtySecondIdleTimeoutAndTheCallersStopToken) {
  testing::CapturedLog log;
  std::stop_source caller;
  HttpRequest sent;
  std::stop_token sentToken;
  SearchCD search;
  // An answer that carried no HTTP status shows as -1.
  search.send = [&](const HttpRequest& request, std::stop_token stop) {
    sent = request;
    sentToken = stop;
    return HttpResponse{.statusCode = 0, .body = R"({"releases":[]})"};
  };
  EXPECT_TRUE(search("A", "B", {}, caller.get_token()).releases.empty());
  EXPECT_EQ(sent.url, "https://api.noru.app/v1/cd/search");
  EXPECT_EQ(sent.idleTimeout, std::chrono::seconds(30));
  EXPECT_TRUE(sentToken == caller.get_token()) << "cancelling the task would not reach the request";
  EXPECT_TRUE(log.contains("SearchCD: response status -1, 15 bytes"));
  EXPECT_TRUE(log.contains("SearchCD: 0 release(s) returned"));
}

}  // namespace
}  // namespace noru::lookup
