// The cover and the artist's picture, fetched from a local server standing in for the Cover Art
// Archive and the metadata service.
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
}

TEST_F(FetchImagesTest, NoCoverForAnErrorStatusAnEmptyBodyOrAnUnreachableArchive) {
  for (auto [status, body] : {std::pair{404, "not found"}, std::pair{200, ""}}) {
    server.respond("GET", "/release/abc/123-1200.jpg", status, body, "image/jpeg");
    EXPECT_FALSE(cover()) << status;
  }
  for (const char* archive : {"http://127.0.0.1:1", "file:///etc"}) {
    fetchCover.baseURL = archive;
    EXPECT_FALSE(cover()) << archive;
  }
  EXPECT_FALSE(fs::exists(album / "cover.jpg"));
  EXPECT_TRUE(log.contains("RipCD: invalid cover art URL: file:///etc/release/abc/123-1200.jpg"));
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
  EXPECT_EQ(testing::fileContents(album.parent_path() / "folder.jpg"), "portrait");

  EXPECT_FALSE(artist()) << "not saved this time";
  EXPECT_EQ(server.requests().size(), 2u) << "an existing folder.jpg prevents any request";
}

// Nothing to download, an undecodable answer (the one kind of these that is reported) or an
// error status: the step ends without asking for a picture.
TEST_F(FetchImagesTest, ArtistInfoWithoutAUsablePictureAddressEndsWithoutAPicture) {
  server.respond("GET", "/thumb.jpg", 200, "portrait", "image/jpeg");
  const std::pair<int, std::string> answers[] = {
      {200, R"({"thumb_url":null})"},
      {200, R"({})"},
      {200, R"({"thumb_url":""})"},
      {200, R"({"thumb_url":"apple_music:artist/123"})"},
      {200, R"({"thumb_url":"file:///etc/passwd"})"},
      {200, R"({"thumb_url":"ftp://127.0.0.1/x.jpg"})"},
      {200, R"({"thumb_url":42})"},
      {200, "<html>nope</html>"},
      {404, R"({"thumb_url":")" + server.url("/thumb.jpg") + R"("})"},
  };
  for (const auto& [status, body] : answers) {
    server.respond("GET", "/v1/artists/artist-1", status, body);
    EXPECT_FALSE(artist()) << body;
    EXPECT_FALSE(fs::exists(album.parent_path() / "folder.jpg")) << body;
  }
  EXPECT_EQ(server.requests().size(), std::size(answers)) << "no picture was ever requested";
  EXPECT_EQ(log.linesStartingWith("RipCD: artist image download failed (non-fatal): ").size(), 2u);
}

}  // namespace
}  // namespace noru::rip
