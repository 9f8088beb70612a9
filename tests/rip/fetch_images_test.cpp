// The cover and the artist's picture, fetched from a local server standing in for the Cover Art
// Archive and the metadata service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <iterator>

#include "rip/fetch_artist_image.h"
#include "rip/fetch_cover_art.h"
#include "support/captured_log.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> pathsOf(const std::vector<testing::RecordedRequest>& requests) {
  std::vector<std::string> paths;
  for (const auto& request : requests) {
    paths.push_back(request.method + " " + request.path);
  }
  return paths;
}

class FetchImagesTest : public ::testing::Test {
 protected:
  FetchImagesTest() {
    fetchCover.baseURL = server.url();
    fetchArtist.baseURL = server.url();
    fs::create_directories(album);
  }

  std::optional<std::vector<std::uint8_t>> cover() { return fetchCover(123, "abc", album, {}); }
  bool artist() { return fetchArtist("artist-1", album.parent_path(), {}); }

  testing::TemporaryFolder library;
  fs::path album = library.path() / "Artist" / "Album";
  testing::TestHttpServer server;
  testing::CapturedLog log;
  FetchCoverArt fetchCover;
  FetchArtistImage fetchArtist;
};

TEST_F(FetchImagesTest, CoverIsSavedReturnedAndReplacesAnOlderOne) {
  std::ofstream(album / "cover.jpg") << "old cover";
  server.redirect("GET", "/release/abc/123-1200.jpg", server.url("/images/123.jpg"));
  server.respond("GET", "/images/123.jpg", 200, "new cover", "image/jpeg");

  const auto bytes = cover();

  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "new cover");
  EXPECT_EQ(testing::fileContents(album / "cover.jpg"), "new cover");
  EXPECT_THAT(pathsOf(server.requests()),
              ElementsAre("GET /release/abc/123-1200.jpg", "GET /images/123.jpg"));
  EXPECT_THAT(log.lines(), ElementsAre("RipCD: downloading cover art from " +
                                           server.url("/release/abc/123-1200.jpg"),
                                       "RipCD: cover art saved to cover.jpg"));
}

TEST_F(FetchImagesTest, NoCoverForAnErrorStatusAnEmptyBodyOrAnUnreachableArchive) {
  for (auto [status, body] : {std::pair{404, "not found"}, std::pair{200, ""}}) {
    log.clear();
    server.respond("GET", "/release/abc/123-1200.jpg", status, body, "image/jpeg");
    EXPECT_FALSE(cover()) << status;
    EXPECT_FALSE(fs::exists(album / "cover.jpg"));
    EXPECT_EQ(log.lines().size(), 1u) << "only the downloading line";
  }

  log.clear();
  fetchCover.baseURL = "http://127.0.0.1:1";
  EXPECT_FALSE(cover());
  EXPECT_THAT(log.linesStartingWith("RipCD: cover art download failed (non-fatal): "),
              ElementsAre("RipCD: cover art download failed (non-fatal): Could not connect to "
                          "the server."));

  log.clear();
  fetchCover.baseURL = "file:///etc";
  EXPECT_FALSE(cover());
  EXPECT_THAT(log.lines(),
              ElementsAre("RipCD: invalid cover art URL: file:///etc/release/abc/123-1200.jpg"));
}

// Makes every write beyond `bytes` into a file fail (EFBIG), as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

TEST_F(FetchImagesTest, ACoverCutShortByAFullDiskLeavesNoPartialFileAndTheEarlierCover) {
  server.respond("GET", "/release/abc/123-1200.jpg", 200, std::string(4096, 'c'), "image/jpeg");
  for (const std::string earlier : {"", "old cover"}) {
    if (!earlier.empty()) {
      std::ofstream(album / "cover.jpg") << earlier;
    }
    log.clear();
    {
      FileSizeLimit fullDisk(100);
      EXPECT_FALSE(cover());
    }
    EXPECT_EQ(testing::fileContents(album / "cover.jpg"), earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(album), fs::directory_iterator()),
              earlier.empty() ? 0 : 1)
        << "no temporary file is left";
    EXPECT_EQ(log.linesStartingWith("RipCD: cover art download failed (non-fatal): ").size(), 1u);
  }
}

TEST_F(FetchImagesTest, ArtistPictureIsSavedOnceAsFolderJpg) {
  server.respond("GET", "/v1/artists/artist-1", 200,
                 R"({"name":"x","thumb_url":")" + server.url("/thumb.jpg") + R"("})");
  server.respond("GET", "/thumb.jpg", 200, "portrait", "image/jpeg");

  EXPECT_TRUE(artist());
  const fs::path picture = album.parent_path() / "folder.jpg";
  EXPECT_EQ(testing::fileContents(picture), "portrait");
  EXPECT_THAT(log.lines(),
              ElementsAre("RipCD: fetching artist info " + server.url("/v1/artists/artist-1"),
                          "RipCD: artist folder.jpg saved → " + picture.string()));

  EXPECT_FALSE(artist()) << "not saved this time";
  EXPECT_EQ(server.requests().size(), 2u) << "an existing folder.jpg prevents any request";
}

TEST_F(FetchImagesTest, ArtistInfoWithoutAUsablePictureAddressEndsQuietly) {
  const std::vector<std::string> bodies = {R"({"thumb_url":null})",
                                           R"({})",
                                           R"({"thumb_url":""})",
                                           R"({"thumb_url":"apple_music:artist/123"})",
                                           R"({"thumb_url":"file:///etc/passwd"})",
                                           R"({"thumb_url":"ftp://127.0.0.1/x.jpg"})"};
  for (const auto& body : bodies) {
    log.clear();
    server.respond("GET", "/v1/artists/artist-1", 200, body);
    artist();
    EXPECT_EQ(log.lines().size(), 1u) << body << ": only the fetching line";
    EXPECT_FALSE(fs::exists(album.parent_path() / "folder.jpg")) << body;
  }
  EXPECT_EQ(server.requests().size(), bodies.size()) << "no picture was ever requested";

  for (const std::string body : {R"({"thumb_url":42})", "<html>nope</html>"}) {
    log.clear();
    server.respond("GET", "/v1/artists/artist-1", 200, body);
    artist();
    EXPECT_EQ(log.linesStartingWith("RipCD: artist image download failed (non-fatal): ").size(), 1u)
        << body;
  }

  log.clear();
  server.respond("GET", "/v1/artists/artist-1", 404, R"({"thumb_url":"http://x/y.jpg"})");
  artist();
  EXPECT_EQ(log.lines().size(), 1u) << "an error status ends the step silently";
}

}  // namespace
}  // namespace noru::rip
