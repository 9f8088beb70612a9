// The metadata service's two calls: the requests they send, how their answers decode, and
// their errors. An exchange with a service that answers as it should is the journeys' concern.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <variant>

#include "lookup/json_coding.h"
#include "lookup/lookup_cd.h"
#include "lookup/search_cd.h"
#include "support/test_http_server.h"

namespace noru::lookup {
namespace {

using nlohmann::json;
using platform::http::HttpRequest;
using platform::http::HttpResponse;
using platform::http::TransportError;

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
  disc::CDLookupRelease record{"rel-1",    "group-1",    "Album", "Artist",
                               "artist-1", "1999-01-02", "GB"};
  record.tracks = {{1, "One", "Artist", 200000, "rec-1"}};
  record.caaId = 123;
  record.caaReleaseMbid = "caa-rel-1";
  return record;
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

using Refused = std::pair<DecodingError::Kind, std::string>;  // and the offending member's path

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
  };
  for (const auto& [name, body, outcome] : cases) {
    SCOPED_TRACE(name);
    if (const auto* expected = std::get_if<Records>(&outcome)) {
      EXPECT_EQ(LookupCD::Response::decode(body).cdLookupReleases(), *expected);
      continue;
    }
    try {
      LookupCD::Response::decode(body);
      ADD_FAILURE() << "decoded";
    } catch (const DecodingError& error) {
      EXPECT_EQ(Refused(error.kind(), error.path()), std::get<Refused>(outcome));
    }
  }
}

// Two tracks numbered 3 and 4 from sector 150, as the table of contents gives them.
const disc::CDDiscInfo kDisc{.tracks = {{3, 150, 75}, {4, 225, 75}}, .totalSectors = 300};

TEST(ServiceRequests, ArePostsOfCompactJsonWithTheOneContentTypeHeaderWeSet) {
  testing::TestHttpServer server;
  server.respond("POST", "/v1/cd/lookup", 200, R"({"releases":[]})");
  server.respond("POST", "/v1/cd/search", 200, R"({"releases":[]})");
  const platform::http::WebServices services{.metadataService = server.url(),
                                             .userAgent = "NoruTest/1 ( tests )"};
  LookupCD{services}(kDisc, {});
  SearchCD{services}(
      "  The Artist ", "Album\t",
      {{.sectorCount = 603}, {.sectorCount = 75}, {.sectorCount = 1}, {.sectorCount = 609}}, {});

  // The first track is 1 and the last the count, whatever their numbers; the offsets are as
  // stored, with no 150-sector lead-in added. The durations are sectors / 75.0 * 1000.0,
  // truncated: 603 and 609 sectors fall just short of 8040 and 8120 ms.
  const std::pair<std::string, std::string> expected[] = {
      {"/v1/cd/lookup",
       R"({"first_track":1,"last_track":2,"lead_out_offset":300,"track_offsets":[150,225]})"},
      {"/v1/cd/search",
       R"({"artist":"  The Artist ","album":"Album\t","track_durations_ms":[8039,1000,13,8119]})"},
  };
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const auto& [method, path, query, headers, body] = requests[i];
    SCOPED_TRACE(path);
    EXPECT_EQ(method, "POST");
    EXPECT_EQ(path, expected[i].first);
    EXPECT_TRUE(query.empty());
    EXPECT_EQ(headers.count("Content-Type"), 1u);
    EXPECT_EQ(headers.find("Content-Type")->second, "application/json");
    EXPECT_EQ(headers.find("User-Agent")->second, services.userAgent);
    EXPECT_EQ(nlohmann::ordered_json::parse(body).dump(), body) << "not compact";
    EXPECT_EQ(json::parse(body), json::parse(expected[i].second));
  }
}

// Both calls decode the answer whatever its status, fail on one that does not decode and on
// a transport error, refuse a bad address or text before sending, and hand on the caller's stop
// token.
TEST(ServiceRequests, DecodeTheAnswerWhateverTheStatusAndHandOnTheCallersStopToken) {
  std::stop_source caller;
  std::function<HttpResponse()> answer;
  int sent = 0;
  auto send = [&](const HttpRequest&, std::stop_token stop) {
    ++sent;
    EXPECT_TRUE(stop == caller.get_token()) << "a cancel would not reach the request";
    return answer();
  };
  const platform::http::WebServices services{.metadataService = "http://127.0.0.1:1",
                                             .exchange = send};
  const std::function<std::size_t()> calls[] = {
      [&] { return LookupCD{services}(kDisc, caller.get_token()).releases.size(); },
      [&] { return SearchCD{services}("A", "B", {}, caller.get_token()).releases.size(); }};
  for (const auto& call : calls) {
    answer = [] {
      return HttpResponse{.statusCode = 404,
                          .body = R"({"releases":[{"release_mbid":"r","title":"T",)"
                                  R"("artist_credit":"A","tracks":[]}]})"};
    };
    EXPECT_EQ(call(), 1u);
    answer = [] { return HttpResponse{.body = R"({"releases":[]})"}; };  // no HTTP status
    EXPECT_EQ(call(), 0u);
    answer = [] { return HttpResponse{.statusCode = 502, .body = "<html>Bad Gateway</html>"}; };
    EXPECT_THROW(call(), DecodingError);
    answer = []() -> HttpResponse { throw TransportError(TransportError::Kind::timedOut); };
    EXPECT_THROW(call(), TransportError);
  }
  EXPECT_EQ(sent, 8);
  EXPECT_THROW((SearchCD{{.metadataService = "file:///tmp", .exchange = send}}("A", "B", {}, {})),
               TransportError);
  EXPECT_THROW((SearchCD{services}("\xFF\xFE", "B", {}, {})), EncodingError);  // not UTF-8
  EXPECT_EQ(sent, 8) << "a bad address or a text that is not UTF-8 is refused before sending";
}

}  // namespace
}  // namespace noru::lookup
