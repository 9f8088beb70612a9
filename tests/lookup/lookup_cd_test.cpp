#include "lookup/lookup_cd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "lookup/json_coding.h"
#include "platform/tasks/cancellation_error.h"
#include "platform/tasks/task_runner.h"
#include "support/process_resources.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::TransportError;
using testing::TestHttpServer;

// A 12-track disc whose first track starts at sector 0, as its table of contents gives it.
disc::CDDiscInfo twelveTrackDisc() {
  disc::CDDiscInfo info{.totalSectors = 198000};
  for (std::int32_t number = 1; number <= 12; ++number) {
    info.tracks.push_back(disc::CDTrackInfo{
        .number = number, .startSector = (number - 1) * 16000 + 32, .sectorCount = 16000});
  }
  info.tracks[0].startSector = 0;
  return info;
}

json validRelease() {
  return json{
      {"release_mbid", "rel-1"},
      {"release_group_mbid", "group-1"},
      {"title", "Album"},
      {"artist_credit", "Artist"},
      {"artist_mbid", "artist-1"},
      {"date", "1999-01-02"},
      {"country", "GB"},
      {"tracks", json::array({{{"number", 1},
                               {"title", "One"},
                               {"artist_credit", "Artist"},
                               {"length_ms", 200000},
                               {"recording_mbid", "rec-1"}}})},
      {"caa_id", 123},
      {"caa_release_mbid", "caa-rel-1"},
  };
}

LookupCD::Release decodedValidRelease() {
  return LookupCD::Release{
      .releaseMbid = "rel-1",
      .releaseGroupMbid = "group-1",
      .title = "Album",
      .artistCredit = "Artist",
      .artistMbid = "artist-1",
      .date = "1999-01-02",
      .country = "GB",
      .tracks = {{.number = 1,
                  .title = "One",
                  .artistCredit = "Artist",
                  .lengthMs = 200000,
                  .recordingMbid = "rec-1"}},
      .caaId = 123,
      .caaReleaseMbid = "caa-rel-1",
  };
}

std::string responseWith(std::function<void(json& release)> change) {
  json release = validRelease();
  change(release);
  return json{{"disc_id", "disc-1"}, {"releases", json::array({release})}}.dump();
}

struct Refused {
  DecodingError::Kind kind;
  std::string path;
};

struct DecodingCase {
  std::string name;
  std::string body;
  std::variant<LookupCD::Response, Refused> outcome;
};

TEST(LookupCDResponse, DecodesAllOrNothing) {
  const auto release = decodedValidRelease();
  auto releaseWith = [&](std::function<void(LookupCD::Release&)> change) {
    auto changed = release;
    change(changed);
    return LookupCD::Response{.discId = "disc-1", .releases = {changed}};
  };
  using Kind = DecodingError::Kind;
  const std::vector<DecodingCase> cases = {
      {"only releases", R"({"releases":[]})", LookupCD::Response{}},
      {"full release", responseWith([](json&) {}), releaseWith([](auto&) {})},
      {"releases missing", R"({"disc_id":"disc-1"})", Refused{Kind::keyNotFound, "releases"}},
      {"releases null", R"({"releases":null})", Refused{Kind::valueNotFound, "releases"}},
      {"one release without title fails everything",
       [] {
         json untitled = validRelease();
         untitled.erase("title");
         return json{{"releases", json::array({validRelease(), untitled})}}.dump();
       }(),
       Refused{Kind::keyNotFound, "releases[1].title"}},
      {"caa_id null", responseWith([](json& r) { r["caa_id"] = nullptr; }),
       releaseWith([](auto& r) { r.caaId.reset(); })},
      {"caa_id missing", responseWith([](json& r) { r.erase("caa_id"); }),
       releaseWith([](auto& r) { r.caaId.reset(); })},
      {"caa_id a string of digits", responseWith([](json& r) { r["caa_id"] = "123"; }),
       Refused{Kind::typeMismatch, "releases[0].caa_id"}},
      {"length_ms missing", responseWith([](json& r) { r["tracks"][0].erase("length_ms"); }),
       releaseWith([](auto& r) { r.tracks[0].lengthMs.reset(); })},
      {"releaseMbid spelt without underscore", responseWith([](json& r) {
         r.erase("release_mbid");
         r["releaseMbid"] = "rel-2";
       }),
       releaseWith([](auto& r) { r.releaseMbid = "rel-2"; })},
      {"2.0 is the integer 2", responseWith([](json& r) { r["tracks"][0]["number"] = 2.0; }),
       releaseWith([](auto& r) { r.tracks[0].number = 2; })},
      {"2.5 is no integer", responseWith([](json& r) { r["tracks"][0]["number"] = 2.5; }),
       Refused{Kind::typeMismatch, "releases[0].tracks[0].number"}},
      {"integer beyond 64 bits", responseWith([](json& r) { r["caa_id"] = 9223372036854775808u; }),
       Refused{Kind::typeMismatch, "releases[0].caa_id"}},
      {"largest 64-bit integer", responseWith([](json& r) { r["caa_id"] = 9223372036854775807; }),
       releaseWith([](auto& r) { r.caaId = 9223372036854775807; })},
      {"unknown members ignored", responseWith([](json& r) {
         r["label"] = {{"name", "x"}};
         r["tracks"][0]["isrc"] = 5;
       }),
       releaseWith([](auto&) {})},
      {"texts verbatim", responseWith([](json& r) { r["title"] = "  Ünïcode — Title  "; }),
       releaseWith([](auto& r) { r.title = "  Ünïcode — Title  "; })},
      {"number where a text belongs", responseWith([](json& r) { r["artist_credit"] = 7; }),
       Refused{Kind::typeMismatch, "releases[0].artist_credit"}},
      {"optional text of the wrong type", responseWith([](json& r) { r["country"] = false; }),
       Refused{Kind::typeMismatch, "releases[0].country"}},
      {"required text null", responseWith([](json& r) { r["title"] = nullptr; }),
       Refused{Kind::valueNotFound, "releases[0].title"}},
      {"tracks not an array", responseWith([](json& r) { r["tracks"] = "none"; }),
       Refused{Kind::typeMismatch, "releases[0].tracks"}},
      {"a release that is not an object", R"({"releases":[1]})",
       Refused{Kind::typeMismatch, "releases[0]"}},
      {"body not an object", "[]", Refused{Kind::typeMismatch, ""}},
      {"html error page", "<html><body>502 Bad Gateway</body></html>",
       Refused{Kind::dataCorrupted, ""}},
      {"empty body", "", Refused{Kind::dataCorrupted, ""}},
  };
  for (const auto& testCase : cases) {
    SCOPED_TRACE(testCase.name);
    if (const auto* expected = std::get_if<LookupCD::Response>(&testCase.outcome)) {
      EXPECT_EQ(LookupCD::Response::decode(testCase.body), *expected);
      continue;
    }
    const auto& refused = std::get<Refused>(testCase.outcome);
    try {
      LookupCD::Response::decode(testCase.body);
      ADD_FAILURE() << "decoded";
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), refused.kind);
      EXPECT_EQ(error.path(), refused.path);
    }
  }
}

TEST(LookupCDResponse, DecodingErrorsDescribeTheOffendingMember) {
  try {
    LookupCD::Response::decode(responseWith([](json& r) { r["tracks"][0].erase("title"); }));
    FAIL() << "decoded";
  } catch (const DecodingError& error) {
    EXPECT_STREQ(error.what(),
                 "The data couldn't be read because \"releases[0].tracks[0].title\" is missing.");
  }
  try {
    LookupCD::Response::decode("<html>");
    FAIL() << "decoded";
  } catch (const DecodingError& error) {
    EXPECT_STREQ(error.what(), "The data couldn't be read because it isn't valid JSON.");
  }
}

TEST(LookupCDRelease, MapsEveryFieldToTheApplicationRecord) {
  auto release = decodedValidRelease();
  release.tracks.push_back({.number = 2, .title = "Two", .artistCredit = "Guest"});
  const disc::CDLookupRelease record = release.toCDLookupRelease();
  EXPECT_EQ(record, (disc::CDLookupRelease{
                        .id = "rel-1",
                        .releaseGroupMbid = "group-1",
                        .title = "Album",
                        .artistCredit = "Artist",
                        .artistMbid = "artist-1",
                        .date = "1999-01-02",
                        .country = "GB",
                        .tracks = {{.number = 1,
                                    .title = "One",
                                    .artistCredit = "Artist",
                                    .lengthMs = 200000,
                                    .recordingMbid = "rec-1"},
                                   {.number = 2, .title = "Two", .artistCredit = "Guest"}},
                        .caaId = 123,
                        .caaReleaseMbid = "caa-rel-1",
                    }));

  const LookupCD::Response response{.releases = {release, decodedValidRelease()}};
  const auto records = response.cdLookupReleases();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], record);
  EXPECT_EQ(records[1].tracks.size(), 1u);
}

class LookupCDExchange : public ::testing::Test {
 protected:
  LookupCD lookupAt(std::chrono::milliseconds idleTimeout = std::chrono::seconds(15)) const {
    LookupCD lookup;
    lookup.baseURL = server.url();
    lookup.idleTimeout = idleTimeout;
    return lookup;
  }

  TestHttpServer server;
};

TEST_F(LookupCDExchange, PostsTheTableOfContentsAsCompactJson) {
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  lookupAt()(twelveTrackDisc(), {});

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/v1/cd/lookup");
  EXPECT_EQ(requests[0].headerCount("Content-Type"), 1u);
  EXPECT_EQ(requests[0].header("Content-Type"), "application/json");

  const std::string& body = requests[0].body;
  EXPECT_EQ(body.find_first_of(" \n\t"), std::string::npos) << body;
  const json sent = json::parse(body);
  EXPECT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent["first_track"], 1);
  EXPECT_EQ(sent["last_track"], 12);
  EXPECT_EQ(sent["lead_out_offset"], 198000);
  ASSERT_EQ(sent["track_offsets"].size(), 12u);
  // As stored: no 150-sector lead-in added.
  EXPECT_EQ(sent["track_offsets"][0], 0);
  EXPECT_EQ(sent["track_offsets"][1], 16032);
  EXPECT_EQ(sent["track_offsets"][11], 176032);
}

TEST(LookupCDRequest, FirstAndLastTrackAreTheConstantOneAndTheCount) {
  disc::CDDiscInfo disc{.tracks = {{.number = 3, .startSector = 150, .sectorCount = 75},
                                   {.number = 4, .startSector = 225, .sectorCount = 75}},
                        .totalSectors = 300};
  EXPECT_EQ(
      LookupCD::Request::from(disc),
      (LookupCD::Request{
          .firstTrack = 1, .lastTrack = 2, .leadOutOffset = 300, .trackOffsets = {150, 225}}));
  EXPECT_EQ(LookupCD::Request::from(disc).encode(),
            R"({"first_track":1,"last_track":2,"lead_out_offset":300,"track_offsets":[150,225]})");
}

TEST_F(LookupCDExchange, DecodesTheAnswerWhateverTheStatus) {
  const std::string body = responseWith([](json&) {});
  for (const int status : {200, 404, 500}) {
    SCOPED_TRACE(status);
    server.respond("POST", "/v1/cd/lookup", status, body);
    const auto response = lookupAt()(twelveTrackDisc(), {});
    EXPECT_EQ(response.discId, "disc-1");
    EXPECT_EQ(response.releases, std::vector{decodedValidRelease()});
  }
  server.respond("POST", "/v1/cd/lookup", 502, "<html><body>Bad Gateway</body></html>",
                 "text/html");
  EXPECT_THROW(lookupAt()(twelveTrackDisc(), {}), DecodingError);
}

TEST_F(LookupCDExchange, AnAddressThatIsNoHttpUrlFailsBeforeAnythingIsSent) {
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  for (const std::string& base : {std::string("file:///tmp"), std::string("not a url"),
                                  "ftp://127.0.0.1:" + std::to_string(server.port())}) {
    SCOPED_TRACE(base);
    LookupCD lookup = lookupAt();
    lookup.baseURL = base;
    try {
      lookup(twelveTrackDisc(), {});
      ADD_FAILURE() << "sent";
    } catch (const TransportError& error) {
      EXPECT_EQ(error.kind(), TransportError::Kind::badURL);
    }
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(LookupCD, ShipsWithTheServiceAddressAndAFifteenSecondIdleTimeout) {
  const LookupCD lookup;
  EXPECT_EQ(lookup.baseURL, "https://api.noru.app");
  EXPECT_TRUE(platform::http::isValidHttpUrl(lookup.baseURL));
  EXPECT_EQ(lookup.idleTimeout, std::chrono::seconds(15));

  LookupCD observed;
  platform::http::HttpRequest sent;
  observed.send = [&](const platform::http::HttpRequest& request, std::stop_token) {
    sent = request;
    return platform::http::HttpResponse{.statusCode = 200, .body = R"({"releases":[]})"};
  };
  observed(twelveTrackDisc(), {});
  EXPECT_EQ(sent.url, "https://api.noru.app/v1/cd/lookup");
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.idleTimeout, std::chrono::seconds(15));
}

TEST_F(LookupCDExchange, AStalledServiceTimesOutAndLeavesNoThreadBehind) {
  server.stall("POST", "/v1/cd/lookup");
  const auto threads = testing::liveThreadCount();
  try {
    lookupAt(std::chrono::seconds(1))(twelveTrackDisc(), {});
    FAIL() << "answered";
  } catch (const TransportError& error) {
    EXPECT_STREQ(error.what(), "The request timed out.");
  }
  EXPECT_EQ(testing::liveThreadCount(), threads);
}

TEST_F(LookupCDExchange, CancellingTheLookupTaskEndsItPromptly) {
  server.stall("POST", "/v1/cd/lookup");
  platform::tasks::TaskRunner runner;
  const LookupCD lookup = lookupAt();
  auto task = runner.spawn(
      [&lookup](std::stop_token stop) { return lookup(twelveTrackDisc(), std::move(stop)); });
  ASSERT_TRUE(server.waitForStalls(1));
  const auto cancelledAt = std::chrono::steady_clock::now();
  task.handle().cancel();
  EXPECT_THROW(task.value(), platform::tasks::CancellationError);
  EXPECT_LT(std::chrono::steady_clock::now() - cancelledAt, std::chrono::seconds(5));
}

}  // namespace
}  // namespace noru::lookup
