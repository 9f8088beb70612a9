// Names from the service are not trusted: whatever they hold, the import writes inside the
// library, at artist / album / file, and succeeds.
#include "journeys/journey.h"

namespace noru::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(Journey, HostileNamesFromTheServiceStayInsideTheLibrary) {
  const std::string outside = (library.path().parent_path() / "escaped").string();
  service.respond("POST", "/v1/cd/lookup", 200,
                  serviceAnswer({{.artist = "..",
                                  .title = "../../etc",
                                  .tracks = {{1, "../" + outside},
                                             {2, std::string("a/b\0c", 5)},
                                             {3, std::string(300, 't')},
                                             {4, "/\\:*?\"<>|"}}}}));
  launch();
  insertDisc({{.sectors = 75}, {.sectors = 75}, {.sectors = 75}, {.sectors = 75}});
  ASSERT_TRUE(waitForRelease());
  click("Import Disc");
  ASSERT_TRUE(waitForText("Import complete. Eject the disc or insert another."));

  int tracks = 0;
  for (const fs::path entry : filesUnder(library.path())) {
    const auto depth = std::distance(entry.begin(), entry.end());
    EXPECT_TRUE(depth <= 2 || (depth == 3 && fs::is_regular_file(library.path() / entry))) << entry;
    EXPECT_EQ(entry.begin()->string(), "Unknown Artist") << entry;
    EXPECT_EQ(std::ranges::count(entry, fs::path("..")), 0) << entry;
    tracks += entry.extension() == ".m4a" ? 1 : 0;
  }
  EXPECT_EQ(tracks, 4);
  EXPECT_FALSE(fs::exists(outside));
}

}  // namespace
}  // namespace noru::testing
