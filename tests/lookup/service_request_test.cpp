#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "lookup/lookup_cd.h"
#include "lookup/search_cd.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::HttpRequest;
using platform::http::HttpResponse;

// A 12-track disc whose first track starts at sector 0, as its table of contents gives it.
disc::CDDiscInfo twelveTrackDisc() {
  disc::CDDiscInfo info{.totalSectors = 198000};
  for (std::int32_t number = 1; number <= 12; ++number) {
    info.tracks.push_back(
        {.number = number, .startSector = (number - 1) * 16000, .sectorCount = 16000});
  }
  return info;
}

TEST(ServiceRequests, ArePostsOfCompactJsonWithTheOneContentTypeHeaderWeSet) {
  testing::TestHttpServer server;
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  server.respond("POST", "/v1/cd/search", 200, R"({"releases":[]})");
  LookupCD{.baseURL = server.url()}(twelveTrackDisc(), {});
  SearchCD{.baseURL = server.url()}(
      "  The Artist ", "Album\t",
      {{.sectorCount = 603}, {.sectorCount = 75}, {.sectorCount = 1}, {.sectorCount = 609}}, {});

  // The offsets as stored: no 150-sector lead-in added. The durations are sectors / 75.0 *
  // 1000.0, truncated: 603 and 609 sectors fall just short of 8040 and 8120 ms.
  const json offsets = {0,     16000,  32000,  48000,  64000,  80000,
                        96000, 112000, 128000, 144000, 160000, 176000};
  const std::vector<std::pair<std::string, json>> expected = {
      {"/v1/cd/lookup",
       {{"first_track", 1},
        {"last_track", 12},
        {"lead_out_offset", 198000},
        {"track_offsets", offsets}}},
      {"/v1/cd/search",
       {{"artist", "  The Artist "},
        {"album", "Album\t"},
        {"track_durations_ms", {8039, 1000, 13, 8119}}}},
  };
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const auto& [method, path, headers, body] = requests[i];
    SCOPED_TRACE(path);
    EXPECT_EQ(method, "POST");
    EXPECT_EQ(path, expected[i].first);
    EXPECT_EQ(headers.count("Content-Type"), 1u);
    EXPECT_EQ(headers.find("Content-Type")->second, "application/json");
    EXPECT_EQ(nlohmann::ordered_json::parse(body).dump(), body) << "not compact";
    EXPECT_EQ(json::parse(body), expected[i].second);
  }
}

// The shipped timeouts are checked as values; the HTTP client's own tests wait for a short one.
TEST(ServiceRequests, GoToTheServiceWithTheirIdleTimeoutAndTheCallersStopToken) {
  std::stop_source caller;
  std::vector<std::pair<HttpRequest, std::stop_token>> sent;
  auto record = [&](const HttpRequest& request, std::stop_token stop) {
    sent.emplace_back(request, stop);
    return HttpResponse{.statusCode = 200, .body = R"({"releases":[]})"};
  };
  LookupCD{.send = record}(twelveTrackDisc(), caller.get_token());
  SearchCD{.send = record}("A", "B", {}, caller.get_token());

  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].first.url, "https://api.noru.app/v1/cd/lookup");
  EXPECT_EQ(sent[0].first.idleTimeout, std::chrono::seconds(15));
  EXPECT_EQ(sent[1].first.url, "https://api.noru.app/v1/cd/search");
  EXPECT_EQ(sent[1].first.idleTimeout, std::chrono::seconds(30));
  for (const auto& [request, token] : sent) {
    EXPECT_TRUE(token == caller.get_token()) << request.url << ": a cancel would not reach it";
  }
}

}  // namespace
}  // namespace noru::lookup
