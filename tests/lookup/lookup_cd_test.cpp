#include "lookup/lookup_cd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "lookup/json_coding.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::HttpRequest;
using platform::http::HttpResponse;
using Records = std::vector<disc::CDLookupRelease>;

// A 12-track disc whose first track starts at sector 0, as its table of contents gives it.
disc::CDDiscInfo twelveTrackDisc() {
  disc::CDDiscInfo info{.totalSectors = 198000};
  for (std::int32_t number = 1; number <= 12; ++number) {
    info.tracks.push_back(
        {.number = number, .startSector = (number - 1) * 16000, .sectorCount = 16000});
  }
  return info;
}

json validRelease() {
  return json::parse(
      R"({"release_mbid":"rel-1","release_group_mbid":"group-1","title":"Album",)"
      R"("artist_credit":"Artist","artist_mbid":"artist-1","date":"1999-01-02","country":"GB",)"
      R"("tracks":[{"number":1,"title":"One","artist_credit":"Artist","length_ms":200000,)"
      R"("recording_mbid":"rec-1"}],"caa_id":123,"caa_release_mbid":"caa-rel-1"})");
}

// validRelease() as the application's record.
disc::CDLookupRelease validRecord() {
  return {.id = "rel-1",
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
          .caaReleaseMbid = "caa-rel-1"};
}

std::string responseWith(std::function<void(json& release)> change) {
  json release = validRelease();
  change(release);
  return json{{"disc_id", "disc-1"}, {"releases", json::array({release})}}.dump();
}

Records recordWith(std::function<void(disc::CDLookupRelease&)> change) {
  auto record = validRecord();
  change(record);
  return {record};
}

// The error that decoding `body` raised.
DecodingError refusalOf(const std::string& body) {
  try {
    LookupCD::Response::decode(body);
  } catch (const DecodingError& error) {
    return error;
  }
  ADD_FAILURE() << "decoded " << body;
  return DecodingError(DecodingError::Kind::dataCorrupted, "");
}

struct Refused {
  DecodingError::Kind kind;
  std::string path;
};

TEST(LookupCDResponse, DecodesAllOrNothingIntoTheApplicationRecords) {
  using Kind = DecodingError::Kind;
  json untitled = validRelease();
  untitled.erase("title");
  json second = validRelease();
  second["release_mbid"] = "rel-2";
  auto secondRecord = validRecord();
  secondRecord.id = "rel-2";
  const struct {
    std::string name;
    std::string body;
    std::variant<Records, Refused> outcome;
  } cases[] = {
      {"only releases", R"({"releases":[]})", Records{}},
      {"full release", responseWith([](json&) {}), Records{validRecord()}},
      {"releases in order", json{{"releases", {validRelease(), second}}}.dump(),
       Records{validRecord(), secondRecord}},
      {"releases missing", R"({"disc_id":"disc-1"})", Refused{Kind::keyNotFound, "releases"}},
      {"one release without title fails everything",
       json{{"releases", {validRelease(), untitled}}}.dump(),
       Refused{Kind::keyNotFound, "releases[1].title"}},
      {"caa_id null", responseWith([](json& r) { r["caa_id"] = nullptr; }),
       recordWith([](auto& r) { r.caaId.reset(); })},
      {"caa_id missing", responseWith([](json& r) { r.erase("caa_id"); }),
       recordWith([](auto& r) { r.caaId.reset(); })},
      {"caa_id a string of digits", responseWith([](json& r) { r["caa_id"] = "123"; }),
       Refused{Kind::typeMismatch, "releases[0].caa_id"}},
      {"length_ms missing", responseWith([](json& r) { r["tracks"][0].erase("length_ms"); }),
       recordWith([](auto& r) { r.tracks[0].lengthMs.reset(); })},
      {"releaseMbid spelt without underscore", responseWith([](json& r) {
         r.erase("release_mbid");
         r["releaseMbid"] = "rel-2";
       }),
       recordWith([](auto& r) { r.id = "rel-2"; })},
      {"2.0 is the integer 2", responseWith([](json& r) { r["tracks"][0]["number"] = 2.0; }),
       recordWith([](auto& r) { r.tracks[0].number = 2; })},
      {"2.5 is no integer", responseWith([](json& r) { r["tracks"][0]["number"] = 2.5; }),
       Refused{Kind::typeMismatch, "releases[0].tracks[0].number"}},
      {"integer beyond 64 bits", responseWith([](json& r) { r["caa_id"] = 9223372036854775808u; }),
       Refused{Kind::typeMismatch, "releases[0].caa_id"}},
      {"unknown members ignored", responseWith([](json& r) {
         r["label"] = {{"name", "x"}};
         r["tracks"][0]["isrc"] = 5;
       }),
       Records{validRecord()}},
      {"optional text of the wrong type", responseWith([](json& r) { r["country"] = false; }),
       Refused{Kind::typeMismatch, "releases[0].country"}},
      {"a release that is not an object", R"({"releases":[1]})",
       Refused{Kind::typeMismatch, "releases[0]"}},
      {"html error page", "<html><body>502 Bad Gateway</body></html>",
       Refused{Kind::dataCorrupted, ""}},
  };
  for (const auto& [name, body, outcome] : cases) {
    SCOPED_TRACE(name);
    if (const auto* expected = std::get_if<Records>(&outcome)) {
      EXPECT_EQ(LookupCD::Response::decode(body).cdLookupReleases(), *expected);
    } else {
      const DecodingError error = refusalOf(body);
      EXPECT_EQ(error.kind(), std::get<Refused>(outcome).kind);
      EXPECT_EQ(error.path(), std::get<Refused>(outcome).path);
    }
  }
}

TEST(LookupCDResponse, DecodingErrorsDescribeTheOffendingMember) {
  EXPECT_STREQ(refusalOf(responseWith([](json& r) { r["tracks"][0].erase("title"); })).what(),
               "The data couldn't be read because \"releases[0].tracks[0].title\" is missing.");
  EXPECT_STREQ(refusalOf("<html>").what(),
               "The data couldn't be read because it isn't valid JSON.");
}

TEST(LookupCDRequest, FirstTrackIsOneAndLastTheCountWhateverTheTrackNumbers) {
  const disc::CDDiscInfo disc{.tracks = {{.number = 3, .startSector = 150, .sectorCount = 75},
                                         {.number = 4, .startSector = 225, .sectorCount = 75}},
                              .totalSectors = 300};
  EXPECT_EQ(
      LookupCD::Request::from(disc),
      (LookupCD::Request{
          .firstTrack = 1, .lastTrack = 2, .leadOutOffset = 300, .trackOffsets = {150, 225}}));
}

class LookupCDExchange : public ::testing::Test {
 protected:
  LookupCDExchange() { lookup.baseURL = server.url(); }

  testing::TestHttpServer server;
  LookupCD lookup;
};

TEST_F(LookupCDExchange, PostsTheTableOfContentsAsCompactJson) {
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  EXPECT_EQ(lookup(twelveTrackDisc(), {}), LookupCD::Response{});

  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].path, "/v1/cd/lookup");
  EXPECT_EQ(requests[0].headers.count("Content-Type"), 1u);
  EXPECT_EQ(requests[0].headers.find("Content-Type")->second, "application/json");
  const std::string& body = requests[0].body;
  EXPECT_EQ(nlohmann::ordered_json::parse(body).dump(), body) << "not compact";
  // The offsets as stored: no 150-sector lead-in added.
  const json offsets = {0,     16000,  32000,  48000,  64000,  80000,
                        96000, 112000, 128000, 144000, 160000, 176000};
  EXPECT_EQ(json::parse(body), (json{{"first_track", 1},
                                     {"last_track", 12},
                                     {"lead_out_offset", 198000},
                                     {"track_offsets", offsets}}));
}

TEST_F(LookupCDExchange, DecodesTheAnswerWhateverTheStatus) {
  for (const int status : {404, 500}) {
    server.respond("POST", "/v1/cd/lookup", status, responseWith([](json&) {}));
    const auto response = lookup(twelveTrackDisc(), {});
    EXPECT_EQ(response.discId, "disc-1");
    EXPECT_EQ(response.cdLookupReleases(), Records{validRecord()}) << status;
  }
  server.respond("POST", "/v1/cd/lookup", 502, "<html><body>Bad Gateway</body></html>",
                 "text/html");
  EXPECT_THROW(lookup(twelveTrackDisc(), {}), DecodingError);
}

// The shipped timeout is checked as a value; the client's own tests wait for a short one.
TEST(LookupCD, SendsToTheServiceWithAFifteenSecondIdleTimeoutAndTheCallersStopToken) {
  std::stop_source caller;
  HttpRequest sent;
  std::stop_token sentToken;
  LookupCD lookup;
  lookup.send = [&](const HttpRequest& request, std::stop_token stop) {
    sent = request;
    sentToken = stop;
    return HttpResponse{.statusCode = 200, .body = R"({"releases":[]})"};
  };
  lookup(twelveTrackDisc(), caller.get_token());
  EXPECT_EQ(sent.url, "https://api.noru.app/v1/cd/lookup");
  EXPECT_EQ(sent.idleTimeout, std::chrono::seconds(15));
  EXPECT_TRUE(sentToken == caller.get_token()) << "cancelling the task would not reach the request";
}

}  // namespace
}  // namespace noru::lookup
