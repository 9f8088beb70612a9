#include "lookup/search_cd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

#include "lookup/json_coding.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/task_runner.h"
#include "support/captured_log.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::TransportError;
using testing::TestHttpServer;

std::vector<disc::CDTrackInfo> tracksOfSectors(const std::vector<std::int32_t>& sectorCounts) {
  std::vector<disc::CDTrackInfo> tracks;
  std::int32_t start = 0;
  for (const auto count : sectorCounts) {
    tracks.push_back(disc::CDTrackInfo{.number = static_cast<std::int64_t>(tracks.size()) + 1,
                                       .startSector = start,
                                       .sectorCount = count});
    start += count;
  }
  return tracks;
}

constexpr const char* kOneRelease =
    R"({"releases":[{"release_mbid":"r","title":"T","artist_credit":"A","tracks":[]}]})";

class SearchCDExchange : public ::testing::Test {
 protected:
  SearchCD searchAt(std::chrono::milliseconds idleTimeout = std::chrono::seconds(30)) const {
    SearchCD search;
    search.baseURL = server.url();
    search.idleTimeout = idleTimeout;
    return search;
  }

  TestHttpServer server;
  testing::CapturedLog log;
};

TEST(SearchCDRequest, DurationsAreSectorsOverSeventyFiveTimesAThousandTruncated) {
  const auto request =
      SearchCD::Request::from("A", "B", tracksOfSectors({603, 75, 1, 609, 15000, 0}));
  EXPECT_EQ(request.trackDurationsMs, (std::vector<std::int64_t>{8039, 1000, 13, 8119, 200000, 0}));
}

TEST_F(SearchCDExchange, PostsTheTypedTextsUntrimmedWithTheDurations) {
  server.respond("POST", "/v1/cd/search", 200, kOneRelease);
  searchAt()("  The Artist ", "Album\t", tracksOfSectors({603, 75, 1}), {});

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/v1/cd/search");
  EXPECT_EQ(requests[0].headerCount("Content-Type"), 1u);
  EXPECT_EQ(requests[0].header("Content-Type"), "application/json");
  EXPECT_EQ(json::parse(requests[0].body), (json{{"artist", "  The Artist "},
                                                 {"album", "Album\t"},
                                                 {"track_durations_ms", {8039, 1000, 13}}}));
  EXPECT_EQ(requests[0].body.find_first_of(" \n"), requests[0].body.find("  The"));
}

TEST_F(SearchCDExchange, WritesItsThreeLinesAndIgnoresTheStatus) {
  server.respond("POST", "/v1/cd/search", 404, kOneRelease);
  const auto tracks = tracksOfSectors(std::vector<std::int32_t>(12, 1000));
  const auto response = searchAt()("Artist", "Album", tracks, {});
  ASSERT_EQ(response.releases.size(), 1u);
  EXPECT_EQ(response.releases[0].releaseMbid, "r");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "SearchCD: searching for 'Artist' \u2014 'Album' (12 tracks)",
                             "SearchCD: response status 404, " +
                                 std::to_string(std::string(kOneRelease).size()) + " bytes",
                             "SearchCD: 1 release(s) returned",
                         }));
}

TEST_F(SearchCDExchange, AnEmptyAnswerIsASuccessWithNoReleases) {
  server.respond("POST", "/v1/cd/search", 200, R"({"disc_id":null,"releases":[]})");
  EXPECT_TRUE(searchAt()("", "", {}, {}).releases.empty());
  EXPECT_TRUE(log.contains("SearchCD: searching for '' \u2014 '' (0 tracks)"));
  EXPECT_TRUE(log.contains("SearchCD: 0 release(s) returned"));
}

TEST_F(SearchCDExchange, AnUndecodableBodyWritesTwoLines) {
  server.respond("POST", "/v1/cd/search", 500, "<html>oops</html>", "text/html");
  EXPECT_THROW(searchAt()("A", "B", tracksOfSectors({75}), {}), DecodingError);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "SearchCD: searching for 'A' \u2014 'B' (1 tracks)",
                             "SearchCD: response status 500, 17 bytes",
                         }));
}

TEST_F(SearchCDExchange, AFailedExchangeWritesOnlyTheFirstLine) {
  server.stall("POST", "/v1/cd/search");
  try {
    searchAt(std::chrono::seconds(1))("A", "B", tracksOfSectors({75}), {});
    FAIL() << "answered";
  } catch (const TransportError& error) {
    EXPECT_EQ(error.kind(), TransportError::Kind::timedOut);
  }
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "SearchCD: searching for 'A' \u2014 'B' (1 tracks)",
                         }));
}

TEST_F(SearchCDExchange, ABadAddressFailsWithoutALine) {
  SearchCD search = searchAt();
  search.baseURL = "file:///tmp";
  EXPECT_THROW(search("A", "B", {}, {}), TransportError);
  EXPECT_TRUE(log.lines().empty());
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(SearchCDExchange, CancellingTheSearchEndsItPromptly) {
  server.stall("POST", "/v1/cd/search");
  platform::tasks::TaskRunner runner;
  const SearchCD search = searchAt();
  auto task = runner.spawn([&search](std::stop_token stop) {
    return search("A", "B", tracksOfSectors({75}), std::move(stop));
  });
  ASSERT_TRUE(server.waitForStalls(1));
  task.cancel();
  EXPECT_THROW(task.value(), platform::tasks::CancellationError);
}

TEST(SearchCD, ShipsWithTheServiceAddressAndAThirtySecondIdleTimeout) {
  testing::CapturedLog log;
  SearchCD search;
  EXPECT_EQ(search.baseURL, "https://api.noru.app");
  EXPECT_EQ(search.idleTimeout, std::chrono::seconds(30));

  platform::http::HttpRequest sent;
  // An answer that carried no HTTP status shows as -1.
  search.send = [&](const platform::http::HttpRequest& request, std::stop_token) {
    sent = request;
    return platform::http::HttpResponse{.statusCode = 0, .body = R"({"releases":[]})"};
  };
  search("A", "B", {}, {});
  EXPECT_EQ(sent.url, "https://api.noru.app/v1/cd/search");
  EXPECT_EQ(sent.idleTimeout, std::chrono::seconds(30));
  EXPECT_TRUE(log.contains("SearchCD: response status -1, 15 bytes"));
}

}  // namespace
}  // namespace noru::lookup
