// Importing a disc while the metadata service cannot be reached: MusicBrainz, the Cover Art
// Archive, Wikidata and Wikimedia Commons (stand-ins on 127.0.0.1) name it instead.
#include <nlohmann/json.hpp>

#include "journeys/journey.h"
#include "musicbrainz/musicbrainz_disc_id.h"

namespace noru::testing {
namespace {

using nlohmann::json;

json credit(const std::string& name, const std::string& id, const std::string& join = "") {
  return {{"name", name}, {"joinphrase", join}, {"artist", {{"id", id}, {"name", name}}}};
}

TEST_F(Journey, WithTheServiceUnreachableMusicBrainzNamesTheDiscAndFindsBothPictures) {
  const disc::CDDiscInfo disc{{{1, 0, 300}, {2, 300, 451}}, 751};
  const auto toc = musicbrainz::musicBrainzDiscTOC(disc);
  ASSERT_TRUE(toc.has_value());
  auto tracks = json::array();
  for (const auto& [position, title] : {std::pair{1, "Opening"}, std::pair{2, "Closing"}}) {
    tracks.push_back({{"position", position},
                      {"title", title},
                      {"length", position == 1 ? 4000 : 6013},
                      {"recording", {{"id", "recording-" + std::to_string(position)}}}});
  }
  const json release = {
      {"id", "caa-release-1"},
      {"title", "Found Album"},
      {"artist-credit", json::array({credit("Ann", "artist-9", " & "), credit("Bo", "artist-8")})},
      {"cover-art-archive", {{"front", true}}},
      {"media",
       json::array({{{"discs", json::array({{{"id", toc->discId}}})}, {"tracks", tracks}}})}};
  service.respond("GET", "/ws/2/discid/" + toc->discId, 200,
                  json{{"releases", json::array({release})}}.dump());
  service.respond("GET", "/release/caa-release-1", 200, R"({"images":[{"id":7,"front":true}]})");
  service.respond("GET", "/ws/2/artist/artist-9", 200,
                  R"({"relations":[{"type":"wikidata",)"
                  R"("url":{"resource":"https://www.wikidata.org/wiki/Q42"}}]})");
  service.respond("GET", "/wd/w/api.php", 200,
                  R"({"claims":{"P18":[{"rank":"normal","mainsnak":{"datavalue":)"
                  R"({"value":"Ann and Bo.jpg"}}}]}})");
  service.respond("GET", "/commons/wiki/Special:FilePath/Ann_and_Bo.jpg", 200, jpegBytes(),
                  "image/jpeg");
  webServices = {.musicBrainz = service.url(),
                 .wikidata = service.url("/wd"),
                 .wikimediaCommons = service.url("/commons"),
                 .musicBrainzAsSecondSource = true};

  launch([] { return TestHttpServer().url(); }());  // a port nothing listens on any more
  insertDisc({{.sectors = 300}, {.sectors = 451}});
  ASSERT_TRUE(waitForRelease());
  ASSERT_EQ(app->store().state().cdRip.discInfo, disc);
  click("Import Disc");
  ASSERT_TRUE(waitForText(kImportComplete));

  expectTrackFiles(albumFolder("Ann & Bo", "Found Album"), "Ann & Bo", "Found Album",
                   {{"01 Opening.m4a", 300}, {"02 Closing.m4a", 451}}, true);
  EXPECT_EQ(fileContents(albumFolder("Ann & Bo", "Found Album") / "cover.jpg"), jpegBytes());
  EXPECT_EQ(fileContents(library.path() / "Ann & Bo" / "folder.jpg"), jpegBytes());
}

}  // namespace
}  // namespace noru::testing
