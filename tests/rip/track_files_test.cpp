// A track's file name and tags, the album cover and the artist's picture (from a local server),
// and the clean-up of an import: the naming rules and what a failure leaves.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <set>

#include "disc/cd_rip_error.h"
#include "rip/album_folder.h"
#include "rip/cleanup_ripped_files.h"
#include "rip/embed_track_metadata.h"
#include "rip/encode_track_to_aac.h"
#include "rip/fetch_artist_image.h"
#include "rip/fetch_cover_art.h"
#include "rip/track_file_name.h"
#include "support/media_files.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(TrackFileName, CleansTheTitleAndPadsTheNumber) {
  const std::tuple<std::int64_t, std::optional<std::string>, std::string> cases[] = {
      {7, "AC/DC: Live? \\\"<>|", "07 AC_DC_ Live_ _____.m4a"},
      {1, "  Intro  ", "01 Intro.m4a"},
      {12, std::nullopt, "Track 12.m4a"},
      {100, std::nullopt, "Track 100.m4a"},
      {1, "***", "01 ___.m4a"},
      {1, "   ", "01 .m4a"},
      {2, "\t\u00A0\u2003Song\u3000\u202F", "02 Song.m4a"},
      {2, "Line\n", "02 Line\n.m4a"},
      {6, " \0 Nul"s, "06 Nul.m4a"},
  };
  for (const auto& [number, title, name] : cases) {
    EXPECT_EQ(trackFileName(number, title), name) << number << " " << title.value_or("(none)");
  }
  // The second disc of a release and later ones tell their number; the first does not.
  EXPECT_EQ(trackFileName(3, "Song", ".flac", 2), "2-03 Song.flac");
  EXPECT_EQ(trackFileName(3, std::nullopt, ".m4a", 12), "Track 12-03.m4a");
  EXPECT_EQ(trackFileName(3, "Song", ".m4a", 1), "03 Song.m4a");
}

std::string repeated(const std::string& text, std::size_t count) {
  return count == 0 ? "" : text + repeated(text, count - 1);
}

// A Linux file name holds 255 bytes: 248 of them are left for the title between "01 " and
// ".m4a", and a cut must not split a character.
TEST(TrackFileName, ShortensALongTitleAtACharacterBoundary) {
  for (const auto& [character, count, kept] :
       {std::tuple{"\u65E5", 100, 82}, std::tuple{"\U0001F3B5", 75, 62}, std::tuple{"a", 248, 248},
        std::tuple{"a", 249, 248}}) {
    EXPECT_EQ(trackFileName(1, repeated(character, count)),
              "01 " + repeated(character, kept) + ".m4a")
        << count << " x " << character;
  }
  EXPECT_EQ(trackFileName(1, repeated("a", 300), ".flac", 2), "2-01 " + repeated("a", 245) + ".flac");
  // A cut that lands just after a blank drops the blank too.
  EXPECT_EQ(trackFileName(1, repeated("a", 247) + " bc"), "01 " + repeated("a", 247) + ".m4a");
}

// library / Artist / Album.
class TrackFilesTest : public ::testing::Test {
 protected:
  TrackFilesTest() { fs::create_directories(album); }

  testing::TemporaryFolder library;
  fs::path artist = library.path() / "Artist";
  fs::path album = artist / "Album";
  fs::path track = album / "01 Track.m4a";
};

// The tagged copy is made beside the track file and takes its place in one rename, so there
// is never a moment without the track file; if that fails, both stay.
TEST_F(TrackFilesTest, TheTrackFileStaysAsItWasUntilTheTaggedCopyReplacesIt) {
  EncodeTrackToAAC{}(testing::syntheticCDAudio(22050), track, 1);
  EmbedTrackMetadata embed;
  embed.replaceFile = [](const fs::path& from, const fs::path& to) {
    throw fs::filesystem_error("cannot rename", from, to,
                               std::make_error_code(std::errc::permission_denied));
  };
  EXPECT_THROW(embed(track, {.title = "Intro", .number = 1, .total = 2}), fs::filesystem_error);

  auto entries = testing::filesUnder(album);
  EXPECT_EQ(entries.erase("01 Track.m4a"), 1u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(std::regex_match(*entries.begin(),
                               std::regex("[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.m4a")))
      << *entries.begin();
  EXPECT_EQ(testing::readM4AItems(album / *entries.begin()).title, "Intro");

  // A failed export leaves the file as it was, and no copy.
  fs::remove_all(album);
  fs::create_directories(album);
  const std::string garbage = "this is not an MPEG-4 file";
  std::ofstream(track) << garbage;
  EXPECT_THROW(EmbedTrackMetadata{}(track, {.title = "Intro", .number = 1, .total = 2}),
               disc::CDRipError);
  EXPECT_EQ(testing::filesUnder(album), std::set<std::string>{"01 Track.m4a"});
  EXPECT_EQ(testing::fileContents(track), garbage);

  fs::remove(track);
  EXPECT_THROW(EmbedTrackMetadata{}(track, {.title = "Intro", .number = 1, .total = 2}),
               disc::CDRipError);
  EXPECT_TRUE(testing::filesUnder(album).empty());
}

// An import's three tracks, cover.jpg, rip.log and the artist's folder.jpg, and a file the
// import did not write (another album of the artist, or a hidden file in the album folder): that
// file keeps the folders that hold it, and the artist's picture with them.
// Files an import replaced, and pictures it did not save, are the rip tests' concern.
TEST_F(TrackFilesTest, CleanupKeepsFoldersThatHoldOtherFilesAndWithThemTheArtistsPicture) {
  const AlbumChanges changes{
      .created = {album / "01 One.m4a", album / "02 Two.m4a", album / "03 Three.m4a",
                  album / "cover.jpg", album / "rip.log"},
      .savedArtistPicture = artist / "folder.jpg"};
  for (const auto& kept : {artist / "Other Album" / "01 Kept.m4a", album / ".hidden"}) {
    SCOPED_TRACE(kept);
    fs::create_directories(kept.parent_path());
    for (const auto& file : changes.created) {
      std::ofstream(file) << "data";
    }
    std::ofstream(artist / "folder.jpg") << "data";
    std::ofstream(kept) << "data";
    CleanupRippedFiles{}(album, changes);
    EXPECT_TRUE(fs::exists(kept));
    for (const auto& file : changes.created) {
      EXPECT_FALSE(fs::exists(file)) << file;
    }
    EXPECT_EQ(fs::exists(album), kept.parent_path() == album);
    EXPECT_TRUE(fs::exists(artist / "folder.jpg"));
    fs::remove_all(artist);
    fs::create_directories(album);
  }
  // Nothing recorded removes nothing; neither does a file already gone.
  std::ofstream(album / "cover.jpg") << "data";
  CleanupRippedFiles{}(album, {});
  CleanupRippedFiles{}(album, {.created = {album / "01 One.m4a"}});
  EXPECT_TRUE(fs::exists(album / "cover.jpg"));
}

class FetchImagesTest : public TrackFilesTest {
 protected:
  std::optional<std::vector<std::uint8_t>> cover() {
    return fetchCover(123, "abc", albumFolder, {});
  }

  testing::TestHttpServer server;
  FetchCoverArt fetchCover{{.coverArtArchive = server.url()}};
  FetchArtistImage fetchArtist{{.metadataService = server.url()}};
  AlbumFolder albumFolder{album};
};

TEST_F(FetchImagesTest, NoCoverForAnErrorStatusAnEmptyBodyOrAnUnreachableArchive) {
  for (auto [status, body] : {std::pair{404, "not found"}, std::pair{200, ""}}) {
    server.respond("GET", "/release/abc/123-1200.jpg", status, body, "image/jpeg");
    EXPECT_FALSE(cover()) << status;
  }
  for (const char* archive : {"http://127.0.0.1:1", "file:///etc"}) {
    fetchCover = FetchCoverArt({.coverArtArchive = archive});
    EXPECT_FALSE(cover()) << archive;
  }
  EXPECT_FALSE(fs::exists(album / "cover.jpg"));
}

// Makes every write beyond `bytes` into a file fail (EFBIG), as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : handler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    const rlimit limited{bytes, saved_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, handler_);
  }

 private:
  void (*handler_)(int);
  rlimit saved_{};
};

// The cover goes through a temporary file: one cut short leaves neither a partial file nor a
// damaged earlier cover, which only a complete new one replaces.
TEST_F(FetchImagesTest, ACoverCutShortByAFullDiskLeavesNoPartialFileAndTheEarlierCover) {
  const std::string newCover(4096, 'c');
  server.respond("GET", "/release/abc/123-1200.jpg", 200, newCover, "image/jpeg");
  for (const std::string earlier : {"", "old cover"}) {
    if (!earlier.empty()) {
      std::ofstream(album / "cover.jpg") << earlier;
    }
    {
      FileSizeLimit fullDisk(100);
      EXPECT_FALSE(cover());
    }
    EXPECT_EQ(testing::fileContents(album / "cover.jpg"), earlier);
    EXPECT_EQ(testing::filesUnder(album).size(), earlier.empty() ? 0u : 1u)
        << "no temporary file is left";
  }
  EXPECT_TRUE(cover());
  EXPECT_EQ(testing::fileContents(album / "cover.jpg"), newCover);
}

// Nothing to download, an undecodable answer or an error status: the step ends without asking
// for a picture. A picture already there is kept, without any request.
TEST_F(FetchImagesTest, ArtistInfoWithoutAUsablePictureAddressEndsWithoutAPicture) {
  std::ofstream(artist / "folder.jpg") << "the user's";
  EXPECT_FALSE(fetchArtist("artist-1", albumFolder, {}));
  EXPECT_EQ(testing::fileContents(artist / "folder.jpg"), "the user's");
  fs::remove(artist / "folder.jpg");
  server.respond("GET", "/thumb.jpg", 200, "portrait", "image/jpeg");
  const std::pair<int, std::string> answers[] = {
      {200, R"({"thumb_url":null})"},
      {200, R"({})"},
      {200, R"({"thumb_url":""})"},
      {200, R"({"thumb_url":"apple_music:artist/123"})"},
      {200, R"({"thumb_url":"file:///etc/passwd"})"},
      {200, R"({"thumb_url":42})"},
      {200, "<html>nope</html>"},
      {404, R"({"thumb_url":")" + server.url("/thumb.jpg") + R"("})"},
  };
  for (const auto& [status, body] : answers) {
    server.respond("GET", "/v1/artists/artist-1", status, body);
    EXPECT_FALSE(fetchArtist("artist-1", albumFolder, {})) << body;
    EXPECT_FALSE(fs::exists(artist / "folder.jpg")) << body;
  }
  EXPECT_EQ(server.requests().size(), std::size(answers))
      << "one for each answer, none for a picture";
}

}  // namespace
}  // namespace noru::rip
