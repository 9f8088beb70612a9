#include "lookup/lookup_cd.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "lookup/json_coding.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using Records = std::vector<disc::CDLookupRelease>;

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
  const struct {
    std::string name;
    std::string body;
    std::variant<Records, Refused> outcome;
  } cases[] = {
      {"only releases", R"({"releases":[]})", Records{}},
      {"full release", responseWith([](json&) {}), Records{validRecord()}},
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
      {"html error page", "<html><body>502 Bad Gateway</body></html>",
       Refused{Kind::dataCorrupted, ""}},
      {"number beyond a double", R"({"releases":[],"extra":1e999})",
       Refused{Kind::dataCorrupted, ""}},
      {"lone huge number", "1e400", Refused{Kind::dataCorrupted, ""}},
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
  EXPECT_TRUE(std::string(refusalOf("<html>").what())
                  .starts_with("The data couldn't be read because it isn't valid JSON. (["));
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

TEST(LookupCD, DecodesTheAnswerWhateverTheStatus) {
  testing::TestHttpServer server;
  const LookupCD lookup{.baseURL = server.url()};
  for (const int status : {404, 500}) {
    server.respond("POST", "/v1/cd/lookup", status, responseWith([](json&) {}));
    const auto response = lookup({}, {});
    EXPECT_EQ(response.discId, "disc-1");
    EXPECT_EQ(response.cdLookupReleases(), Records{validRecord()}) << status;
  }
  server.respond("POST", "/v1/cd/lookup", 502, "<html><body>Bad Gateway</body></html>",
                 "text/html");
  EXPECT_THROW(lookup({}, {}), DecodingError);
}

}  // namespace
}  // namespace noru::lookup
