// The second source of the disc lookup, the text search and the artist picture: MusicBrainz,
// the Cover Art Archive, Wikidata and Wikimedia Commons, as stand-ins on 127.0.0.1 answering
// in their documented formats.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "lookup/json_coding.h"
#include "lookup/lookup_cd.h"
#include "lookup/search_cd.h"
#include "musicbrainz/musicbrainz_artist_picture.h"
#include "musicbrainz/musicbrainz_disc_id.h"
#include "musicbrainz/musicbrainz_lookup.h"
#include "musicbrainz/musicbrainz_search.h"
#include "platform/tasks/cancellation_error.h"
#include "support/test_http_server.h"

namespace noru::musicbrainz {
namespace {

using lookup::LookupCD;
using nlohmann::json;
using testing::TestHttpServer;
using namespace std::chrono_literals;

// MusicBrainz's published disc ID: SHA-1 of the upper-case hex of the first and last track
// numbers (2 digits), the lead-out and 99 track offsets (8 digits, 0 for absent tracks), all in
// frames from the disc's start; in base64 with "+/=" written as "._-".
std::string publishedDiscId(int last, int leadOut, const std::vector<int>& offsets) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%02X%02X%08X", 1, last, leadOut);
  std::string text = hex;
  for (std::size_t index = 0; index < 99; ++index) {
    std::snprintf(hex, sizeof hex, "%08X", index < offsets.size() ? offsets[index] : 0);
    text += hex;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha1(), nullptr);
  unsigned char encoded[64] = {};
  EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
  std::string id(reinterpret_cast<const char*>(encoded));
  std::replace(id.begin(), id.end(), '+', '.');
  std::replace(id.begin(), id.end(), '/', '_');
  std::replace(id.begin(), id.end(), '=', '-');
  return id;
}

json credit(const std::string& name, const std::string& join = "") {
  return {{"name", name}, {"joinphrase", join}, {"artist", {{"id", "id-" + name}}}};
}

json track(int position, const std::string& title, json length) {
  return {{"position", position},
          {"number", std::to_string(position)},
          {"title", title},
          {"length", std::move(length)},
          {"recording", {{"id", "rec-" + title}}}};
}

// A plain three-track disc of 200, 200 and 100 seconds.
const disc::CDDiscInfo kDisc{{{1, 0, 15000}, {2, 15000, 15000}, {3, 30000, 7500}}, 37500};

class SecondSourceTest : public ::testing::Test {
 protected:
  MusicBrainzService service() const {
    return MusicBrainzService{.web = {.coverArtArchive = mb.url("/caa"),
                                      .musicBrainz = mb.url(),
                                      .wikidata = mb.url("/wd"),
                                      .wikimediaCommons = mb.url("/commons")},
                              .limiter = std::make_shared<RateLimiter>(0ms)};
  }
  // How many requests were for `path`.
  long requestsFor(const std::string& path) const {
    return std::ranges::count(mb.requests(), path, &testing::RecordedRequest::path);
  }

  TestHttpServer mb;
  // An address where nothing listens any more: the product's service out of reach.
  const std::string unreachable = TestHttpServer().url();
};

TEST_F(SecondSourceTest, DiscIdsFollowThePublishedAlgorithmAndTheLookupSendsThemWithTheToc) {
  // An Enhanced CD's audio, as the full TOC parses (see the disc tests): its last audio track
  // ends at its session's lead-out, 11400 frames before the data track of the next session.
  const disc::CDDiscInfo enhanced{{{1, 0, 12000}, {2, 12000, 18000}}, 30000};
  struct Case {
    disc::CDDiscInfo disc;
    std::string id;
    std::string toc;
  } const cases[] = {
      {kDisc, publishedDiscId(3, 37650, {150, 15150, 30150}), "1+3+37650+150+15150+30150"},
      {enhanced, publishedDiscId(2, 41400 - 11400 + 150, {150, 12150}), "1+2+30150+150+12150"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(musicBrainzDiscTOC(c.disc), (MusicBrainzDiscTOC{c.id, c.toc})) << c.toc;
  }

  EXPECT_EQ(MusicBrainzLookup{service()}(kDisc, {}).releases.size(), 0u) << "404: no release";
  const auto request = mb.requests().at(0);
  EXPECT_EQ(request.path, "/ws/2/discid/" + cases[0].id);
  EXPECT_EQ(request.params.find("toc")->second, "1 3 37650 150 15150 30150");
  EXPECT_EQ(request.params.find("fmt")->second, "json");
  EXPECT_NE(request.params.find("inc")->second.find("recordings"), std::string::npos);
  EXPECT_TRUE(request.headers.find("User-Agent")->second.starts_with("NoruCDRipper/"));
}

TEST_F(SecondSourceTest, AnUnreachableServiceIsAnsweredByMusicBrainzReleasesMappedForTheDisc) {
  const auto id = musicBrainzDiscTOC(kDisc)->discId;
  const json duets = {
      {"id", "rel-1"},
      {"title", "Duets"},
      {"date", ""},
      {"artist-credit", {credit("Ann", " & "), credit("Bo", " feat. "), credit("Cy")}},
      {"release-group", {{"id", "group-1"}}},
      {"cover-art-archive", {{"front", false}}},
      {"media",
       {{{"discs", {{{"id", "another-disc"}}}},
         {"tracks", {track(1, "Other", 1000), track(2, "Disc", 2000)}}},
        {{"position", 2},
         {"discs", {{{"id", id}}}},
         {"tracks",
          {{{"position", 1},
            {"title", "One"},
            {"artist-credit", {credit("Ann")}},
            {"recording", {{"id", "rec-1"}, {"length", 200000}}}},
           {{"position", 2},
            {"title", "Two"},
            {"length", 199000},
            {"recording", {{"id", "rec-2"}, {"artist-credit", {credit("Bo")}}}}},
           track(3, "Three", nullptr)}}}}}};
  const json solo = {
      {"id", "rel-2"},
      {"title", "Solo"},
      {"date", "2001"},
      {"country", "GB"},
      {"artist-credit", {credit("Di")}},
      {"cover-art-archive", {{"front", true}}},
      {"media", {{{"tracks", {track(1, "A", 1), track(2, "B", 2), track(3, "C", 3)}}}}}};
  mb.respond("GET", "/ws/2/discid/" + id, 200, json{{"releases", {duets, solo}}}.dump());
  mb.respond("GET", "/caa/release/rel-2", 200,
             R"({"images":[{"id":1,"front":false},{"id":"42","front":true}]})");

  const LookupCD lookup{{.metadataService = unreachable}, MusicBrainzLookup{service()}};
  const auto response = lookup(kDisc, {});

  const std::string duetsCredit = "Ann & Bo feat. Cy";
  const LookupCD::Response expected{
      .discId = id,
      .releases = {
          {.releaseMbid = "rel-1",
           .releaseGroupMbid = "group-1",
           .title = "Duets",
           .artistCredit = duetsCredit,
           .artistMbid = "id-Ann",
           .tracks = {{1, "One", "Ann", 200000, "rec-1"},
                      {2, "Two", "Bo", 199000, "rec-2"},
                      {3, "Three", duetsCredit, std::nullopt, "rec-Three"}},
           .discNumber = 2,
           .discTotal = 2},
          {.releaseMbid = "rel-2",
           .title = "Solo",
           .artistCredit = "Di",
           .artistMbid = "id-Di",
           .date = "2001",
           .country = "GB",
           .tracks = {{1, "A", "Di", 1, "rec-A"},
                      {2, "B", "Di", 2, "rec-B"},
                      {3, "C", "Di", 3, "rec-C"}},
           .caaId = 42,
           .caaReleaseMbid = "rel-2",
           .discNumber = 1,
           .discTotal = 1},
      }};
  EXPECT_EQ(response, expected);
  EXPECT_EQ(requestsFor("/caa/release/rel-1"), 0) << "no front artwork";
}

// Of the editions holding the disc ID, the one printed with the disc's barcode comes first: a
// UPC-A barcode is the catalogue number without its leading 0.
TEST_F(SecondSourceTest, TheDiscsBarcodePicksItsOwnEditionFirst) {
  auto disc = kDisc;
  disc.facts.mcn = "0012345678905";
  const auto edition = [](const std::string& id, json barcode) {
    return json{{"id", id},
                {"title", "Album"},
                {"barcode", std::move(barcode)},
                {"artist-credit", {credit("Ann")}},
                {"media", {{{"tracks", {track(1, "A", 1), track(2, "B", 2), track(3, "C", 3)}}}}}};
  };
  mb.respond("GET", "/ws/2/discid/" + musicBrainzDiscTOC(disc)->discId, 200,
             json{{"releases",
                   {edition("none", nullptr), edition("other", "4006381333931"),
                    edition("ours", "012345678905")}}}
                 .dump());
  std::vector<std::string> order;
  for (const auto& release : MusicBrainzLookup{service()}(disc, {}).releases) {
    order.push_back(release.releaseMbid);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"ours", "none", "other"}));
}

TEST_F(SecondSourceTest, OnlyAServiceThatCannotBeReachedIsSecondGuessedAndItsErrorStands) {
  const std::string valid = R"({"releases":[]})";
  struct Case {
    int status;
    std::string body;
    bool decodes;
  } const cases[] = {{404, valid, true}, {500, valid, true}, {200, "<html>busy</html>", false}};
  int asked = 0;
  const auto secondSource = [&](const disc::CDDiscInfo&, std::stop_token) {
    ++asked;
    return LookupCD::Response{};
  };
  for (const auto& c : cases) {
    mb.respond("POST", "/v1/cd/lookup", c.status, c.body);
    const LookupCD answered{{.metadataService = mb.url()}, secondSource};
    if (c.decodes) {
      EXPECT_NO_THROW(answered(kDisc, {})) << c.status;
    } else {
      EXPECT_THROW(answered(kDisc, {}), lookup::DecodingError);
    }
  }
  EXPECT_EQ(asked, 0);

  // Out of reach, and MusicBrainz too busy (503) twice: the service's own error, as without it.
  mb.respond("GET", "/ws/2/discid/" + musicBrainzDiscTOC(kDisc)->discId, 503, "");
  const LookupCD lookup{{.metadataService = unreachable}, MusicBrainzLookup{service()}};
  try {
    lookup(kDisc, {});
    ADD_FAILURE() << "the lookup succeeded";
  } catch (const platform::http::TransportError& error) {
    EXPECT_EQ(error.kind(), platform::http::TransportError::Kind::cannotConnectToHost);
  }
  EXPECT_EQ(requestsFor("/ws/2/discid/" + musicBrainzDiscTOC(kDisc)->discId), 2);
}

TEST_F(SecondSourceTest, TheSearchPicksTheEditionWhoseTrackLengthsMatchTheDisc) {
  const auto candidate = [](const std::string& id, int trackCount) {
    return json{{"id", id},
                {"title", "Best " + id},
                {"artist-credit", {credit("Ann")}},
                {"media", {{{"track-count", trackCount}}}}};
  };
  const auto edition = [&](const std::string& id, std::vector<int> lengths) {
    auto release = candidate(id, 3);
    release["media"] = {{{"tracks",
                          {track(1, "One", lengths[0]), track(2, "Two", lengths[1]),
                           track(3, "Three", lengths[2])}}}};
    return release.dump();
  };
  mb.respond(
      "GET", "/ws/2/release", 200,
      json{{"releases", {candidate("boxed", 10), candidate("radio", 3), candidate("album", 3)}}}
          .dump());
  mb.respond("GET", "/ws/2/release/radio", 200, edition("radio", {180000, 170000, 90000}));
  mb.respond("GET", "/ws/2/release/album", 200, edition("album", {200100, 199900, 100000}));
  const lookup::SearchCD search{{.metadataService = unreachable},
                                MusicBrainzSearch{.service = service(), .candidatesFetched = 2}};

  const auto response = search("Ann", "Best \"Of\"", kDisc.tracks, {});
  ASSERT_EQ(response.releases.size(), 2u);
  EXPECT_EQ(response.releases[0].releaseMbid, "album");
  EXPECT_EQ(response.releases[0].tracks.size(), 3u);
  EXPECT_EQ(response.releases[1].releaseMbid, "radio");
  EXPECT_EQ(requestsFor("/ws/2/release/boxed"), 0);
  EXPECT_EQ(mb.requests().at(0).params.find("query")->second,
            R"(release:"Best \"Of\"" AND artist:"Ann")");

  mb.respond("GET", "/ws/2/release", 200, R"({"releases":[]})");
  EXPECT_TRUE(search("Ann", "Nothing", kDisc.tracks, {}).releases.empty());
}

// A clock that only moves when the limiter waits.
struct VirtualClock final : RateLimiter::Clock {
  RateLimiter::TimePoint now() override { return time; }
  bool sleepUntil(RateLimiter::TimePoint until, std::stop_token) override {
    time = std::max(time, until);
    return true;
  }
  RateLimiter::TimePoint time{};
};

TEST(RateLimiter, SpacesEveryRequestOfTheProgramASecondApartAndGivesWayToAStop) {
  const auto clock = std::make_shared<VirtualClock>();
  std::vector<RateLimiter::TimePoint> sent;
  MusicBrainzService service{.web = {.musicBrainz = "http://127.0.0.1:1",
                                     .wikidata = "http://127.0.0.1:1",
                                     .exchange =
                                         [&](const platform::http::HttpRequest&, std::stop_token) {
                                           sent.push_back(clock->time);
                                           clock->time += 120ms;  // the exchange itself
                                           return platform::http::HttpResponse{404, ""};
                                         }},
                             .limiter = std::make_shared<RateLimiter>(1s, clock)};
  const MusicBrainzLookup lookup{service};
  const MusicBrainzArtistPicture picture{service};
  for (int call = 0; call < 5; ++call) {
    lookup(kDisc, {});
    picture("artist", {});
  }
  ASSERT_EQ(sent.size(), 10u);
  for (std::size_t index = 1; index < sent.size(); ++index) {
    EXPECT_GE(sent[index] - sent[index - 1], 1s) << index;
  }

  RateLimiter paced(10s);
  paced.waitForTurn({});
  std::stop_source stop;
  std::jthread stopper([&] {
    std::this_thread::sleep_for(50ms);
    stop.request_stop();
  });
  EXPECT_THROW(paced.waitForTurn(stop.get_token()), platform::tasks::CancellationError);
}

TEST_F(SecondSourceTest, TheArtistPictureComesFromWikidataThroughMusicBrainz) {
  const std::string linked =
      R"({"relations":[{"type":"discogs","url":{"resource":"https://www.discogs.com/artist/1"}},)"
      R"({"type":"wikidata","url":{"resource":"https://www.wikidata.org/wiki/Q42"}}]})";
  const std::string claims =
      R"({"claims":{"P18":[{"rank":"deprecated","mainsnak":{"datavalue":{"value":"Old.jpg"}}},)"
      R"({"rank":"normal","mainsnak":{"datavalue":{"value":"Ann on stage.jpg"}}}]}})";
  struct Case {
    std::string what;
    int artistStatus;
    std::string artist;
    int claimsStatus;
    std::string claims;
    std::optional<std::string> picture;
  } const cases[] = {
      {"found", 200, linked, 200, claims,
       mb.url("/commons/wiki/Special:FilePath/Ann_on_stage.jpg?width=1000")},
      {"unknown artist", 404, "", 200, claims, std::nullopt},
      {"no Wikidata link", 200, R"({"relations":[]})", 200, claims, std::nullopt},
      {"no such item", 200, linked, 404, "", std::nullopt},
      {"no image", 200, linked, 200, R"({"claims":{}})", std::nullopt},
  };
  for (const auto& c : cases) {
    mb.respond("GET", "/ws/2/artist/artist-1", c.artistStatus, c.artist);
    mb.respond("GET", "/wd/w/api.php", c.claimsStatus, c.claims);
    EXPECT_EQ(MusicBrainzArtistPicture{service()}("artist-1", {}), c.picture) << c.what;
  }
  mb.respond("GET", "/ws/2/artist/artist-1", 200, R"({"relations":"none"})");
  EXPECT_THROW(MusicBrainzArtistPicture{service()}("artist-1", {}), lookup::DecodingError);
}

}  // namespace
}  // namespace noru::musicbrainz
