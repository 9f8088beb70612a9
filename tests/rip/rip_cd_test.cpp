// Encoding a track, and whole-disc imports from scripted drives with the cover and the artist's
// picture served by a local HTTP server: what is dispatched, and what a stop or a failure leaves.
#include "rip/rip_cd.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <array>
#include <cerrno>
#include <fstream>
#include <map>
#include <set>

#include "disc/cd_rip_error.h"
#include "platform/image/image_full_toc.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/ffmpeg_aac_file_writer.h"
#include "support/fake_optical_drives.h"
#include "support/hooked_aac_writer.h"
#include "support/media_files.h"
#include "support/process_resources.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;
namespace actions = state::CDRipActions;
using ::testing::ElementsAre;
using testing::filesUnder;
using ::testing::HasSubstr;
using ::testing::Optional;

using testing::HookedAACWriter;
using Step = HookedAACWriter::Step;

// What a whole encode yields (format and length are checked by the import journeys): 256 kbit/s,
// or the encoder's default rate when that is refused.
TEST(EncodeTrackToAAC, EncodesAt256KbitsOrAtTheDefaultRateWhenThatIsRefused) {
  testing::TemporaryFolder folder;
  for (const auto& [step, low, high] :
       {std::tuple{Step::none, 230000, 282000}, std::tuple{Step::bitRate, 0, 230000}}) {
    const auto file = folder.path() / "02 Rate.m4a";
    EncodeTrackToAAC{.writer = std::make_shared<HookedAACWriter>(step, AVERROR(EINVAL))}(
        testing::syntheticCDAudio(2 * 44100), file, 2);
    const auto facts = testing::probeAudioFile(file);
    EXPECT_NEAR(facts.durationSeconds, 2.0, 1024.0 / 44100);
    EXPECT_GT(facts.bitRate, low);
    EXPECT_LT(facts.bitRate, high);
  }
}

// A half-written M4A has no index and would sit in the library as a track that does not play;
// a folder in the file's place cannot be opened and must survive.
TEST(EncodeTrackToAAC, AFailedStepClosesAndRemovesThePartlyWrittenFileOnly) {
  testing::TemporaryFolder folder;
  const auto inTheWay = folder.path() / "01 Busy.m4a";
  fs::create_directory(inTheWay);
  const auto file = folder.path() / "05 Broken.m4a";
  for (const auto& [step, status, target] :
       {std::tuple{Step::thirdWrite, AVERROR(EIO), file},
        std::tuple{Step::clientFormat, AVERROR(EINVAL), file},
        std::tuple{Step::finish, AVERROR(ENOSPC), file}, std::tuple{Step::none, 0, inTheWay}}) {
    SCOPED_TRACE(static_cast<int>(step));
    const auto descriptorsBefore = testing::openFileDescriptorCount();
    try {
      EncodeTrackToAAC{.writer = std::make_shared<HookedAACWriter>(step, status)}(
          testing::syntheticCDAudio(40000 / 4), target, 5);
      ADD_FAILURE() << "no error";
    } catch (const disc::CDRipError& error) {
      EXPECT_EQ(error.kind(), disc::CDRipError::Kind::encodingFailed);
    }
    EXPECT_EQ(testing::openFileDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(fs::exists(file));
  }
  EXPECT_TRUE(fs::is_directory(inTheWay));
}

// A stop takes effect at the next chunk, not after the whole track (a 10-minute track takes
// many seconds to encode). The chunks are spans of the block itself.
TEST(EncodeTrackToAAC, AStopEndsALongEncodeAtTheNextChunkAndRemovesTheFile) {
  testing::TemporaryFolder folder;
  const std::vector<std::uint8_t> tenMinutes(10 * 60 * 44100 * 4);
  constexpr std::size_t kChunksBeforeStop = 40;  // about 100 ms into the encode
  std::stop_source stop;
  auto writer = std::make_shared<HookedAACWriter>();
  writer->afterWrite = [&](const fs::path&, std::size_t written) {
    if (written == kChunksBeforeStop) {
      stop.request_stop();
    }
  };
  const auto file = folder.path() / "01 Long.m4a";

  EXPECT_THROW(EncodeTrackToAAC{.writer = writer}(tenMinutes, file, 1, stop.get_token()),
               platform::tasks::CancellationError);

  EXPECT_LE(writer->chunks.size(), kChunksBeforeStop + 1);
  EXPECT_EQ(writer->chunks[1].data(), tenMinutes.data() + writer->chunks[0].size());
  EXPECT_FALSE(fs::exists(file));
}

// "started N", "progress", "complete", "ripFailed <message>", "ripComplete" or "ripStopped".
std::string describe(const state::AnyAction& any) {
  const auto& action = std::get<state::CDRipAction>(any);
  const auto* started = std::get_if<actions::trackRipStarted>(&action);
  const auto* failed = std::get_if<actions::ripFailed>(&action);
  using std::holds_alternative;
  return started  ? "started " + std::to_string(started->track)
         : failed ? "ripFailed " + failed->message
         : holds_alternative<actions::trackRipProgress>(action) ? "progress"
         : holds_alternative<actions::trackRipComplete>(action) ? "complete"
         : holds_alternative<actions::ripComplete>(action)      ? "ripComplete"
                                                                : "ripStopped";
}

// Where a test stops an import, and the track concerned (for every stage but the cover).
enum class Stage { coverDownload, read, encode, tagging };
struct StopPoint {
  Stage stage;
  std::int64_t track = 0;
};

class RipCDTest : public testing::RuntimeFixture {
 protected:
  RipCDTest() {
    resetRip();
    server.respond("GET", "/release/caa-release/77-1200.jpg", 200, "cover", "image/jpeg");
    server.respond("GET", "/v1/artists/artist-1", 200,
                   R"({"thumb_url":")" + server.url("/portrait.jpg") + R"("})");
    server.respond("GET", "/portrait.jpg", 200, "portrait", "image/jpeg");
    drives->readHook = [this](const testing::FakeOpticalDrives::AudioRead& read,
                              std::uint8_t* buffer) {
      if (const int error = beforeRead ? beforeRead(read.firstSector) : 0) {
        errno = error;
        return -1;
      }
      const auto bytes = testing::FakeOpticalDrives::pattern(read.firstSector, read.sectors);
      std::copy(bytes.begin(), bytes.end(), buffer);
      return 0;
    };
  }

  void insertDisc(const std::vector<std::int32_t>& sectors) {
    tracks.clear();
    for (std::int32_t start = 0; const auto count : sectors) {
      tracks.push_back({static_cast<std::int64_t>(tracks.size()) + 1, start, count});
      start += count;
    }
  }

  static disc::CDLookupRelease release() {
    return {
        .id = "release-1",
        .title = "Live: 1992?",
        .artistCredit = "AC/DC",
        .artistMbid = "artist-1",
        .tracks = {{1, "Intro", "AC/DC"}, {2, "Thunder/Struck", "AC/DC"}, {3, "Outro", "AC/DC"}},
        .caaId = 77,
        .caaReleaseMbid = "caa-release"};
  }

  void resetRip() {
    exchange = platform::http::sendHttpRequest;
    ripCD = RipCD{drives,
                  {.metadataService = server.url(),
                   .coverArtArchive = server.url(),
                   .exchange = [this](const platform::http::HttpRequest& request,
                                      std::stop_token stop) { return exchange(request, stop); }}};
    // One track at a time, each read once the file before it is in place, so that a stop
    // lands in one known step (the overlap of reads and writes has tests of its own).
    ripCD.writeBounds = {.encoders = 1, .audioBytes = 0};
    beforeRead = nullptr;
  }

  // Where the import is stopped, and whether the user then asked to remove its files.
  void stopAt(StopPoint point, bool removeFiles = false);
  // What the ripping middleware does for a stop: cancels the import and, for "Stop and Remove
  // Files", has the album folder undo it right away, before the import has noticed.
  void stopNow() {
    stopSource.request_stop();
    if (removeFilesOnStop) {
      album->undo();
    }
  }

  // Runs the rip as the application does, on a task of its own, and pumps the main queue until
  // it has ended. Actions are recorded on the main thread in the order they were dispatched, but
  // for verdicts and the second reads (whether a track is read again while its file is written
  // depends on how soon the database answers).
  std::vector<std::string> rip(const std::optional<disc::CDLookupRelease>& chosen,
                               const fs::path& folder = {}) {
    std::vector<std::string> dispatched;
    bool readingAgain = false;
    completedFiles.clear();
    stopSource = std::stop_source();
    album = std::make_shared<AlbumFolder>(folder.empty() ? albumFolder : folder, format,
                                          AlbumFolder::discFor(chosen));
    auto dispatch = [&](state::AnyAction action) {
      mainQueue.post([&, action = std::move(action)] {
        const auto& ripAction = std::get<state::CDRipAction>(action);
        const auto* started = std::get_if<actions::trackRipStarted>(&ripAction);
        const bool progress = std::holds_alternative<actions::trackRipProgress>(ripAction);
        readingAgain = started ? started->again : readingAgain && progress;
        if (readingAgain || std::holds_alternative<actions::trackVerified>(ripAction)) {
          return;
        }
        dispatched.push_back(describe(action));
        if (const auto* complete = std::get_if<actions::trackRipComplete>(&ripAction)) {
          completedFiles.push_back(complete->fileURL);
        }
      });
    };
    auto task = runner.spawn([&](std::stop_token runnerStop) {
      std::stop_callback forward(runnerStop, [this] { stopSource.request_stop(); });
      ripCD({"/sys/drive", "Drive", "sr0", true, "", "", true}, tracks, chosen, *album, dispatch,
            stopSource.get_token(), facts);
    });
    EXPECT_TRUE(mainQueue.runUntil([&] { return task.hasEnded(); }));
    task.value();
    mainQueue.runPending();
    return dispatched;
  }

  testing::TemporaryFolder library;
  fs::path albumFolder = library.path() / "ACDC" / "Live 1992";
  testing::TestHttpServer server;
  std::shared_ptr<testing::FakeOpticalDrives> drives =
      std::make_shared<testing::FakeOpticalDrives>();
  platform::http::SendHttpRequest exchange;
  RipCD ripCD{drives, {}};
  std::vector<disc::CDTrackInfo> tracks;
  std::shared_ptr<AlbumFolder> album;
  std::stop_source stopSource;
  bool removeFilesOnStop = false;
  // Called on the reading thread with each read's first sector; non-zero fails it with errno.
  std::function<int(std::int32_t)> beforeRead;
  std::vector<fs::path> completedFiles;  // as the state keeps them for a clean-up
  disc::AudioFormat format = disc::AudioFormat::aac;
  platform::linux_cd::DiscFacts facts;  // what the disc said of itself when inserted
};

// Without a release the tracks are numbered; with one, a track takes the title of the first
// release track of its number. The cover and the artist's picture need both their ids.
TEST_F(RipCDTest, TrackNamesAndTagsFollowWhatTheReleaseHolds) {
  insertDisc({75, 75, 75});
  auto sparse = release();
  sparse.tracks = {{1, "Fir/st", "A"}, {1, "Duplicate", "A"}, {3, "Third", "A"}};
  sparse.caaId.reset();
  sparse.artistMbid.reset();
  using Texts = std::array<std::optional<std::string>, 4>;  // title 1, title 2, artist, album
  const struct {
    std::optional<disc::CDLookupRelease> chosen;
    std::vector<std::string> files;
    Texts tags;
  } cases[] = {
      {std::nullopt, {"Track 01.m4a", "Track 02.m4a", "Track 03.m4a"}, {}},
      {sparse,
       {"01 Fir_st.m4a", "Track 02.m4a", "03 Third.m4a"},
       {"Fir/st", std::nullopt, "AC/DC", "Live: 1992?"}},
  };
  for (const auto& [chosen, files, tags] : cases) {
    fs::remove_all(albumFolder);
    EXPECT_EQ(rip(chosen).back(), "ripComplete");
    std::vector<std::string> names;
    for (const auto& file : completedFiles) {
      names.push_back(file.filename().string());
    }
    EXPECT_EQ(names, files);
    const auto first = testing::readM4AItems(albumFolder / files[0]);
    const auto second = testing::readM4AItems(albumFolder / files[1]);
    EXPECT_EQ((Texts{first.title, second.title, second.artist, second.album}), tags);
    EXPECT_EQ(second.trackNumber, std::pair(2, 3));
  }
  EXPECT_TRUE(server.requests().empty());
}

// In every format the files hold the release's tags (its MusicBrainz identifiers too, under the
// keys library managers read; an unknown one is left out), the disc's barcode and ISRCs, and the
// cover; the lossless ones
// decode to exactly the audio read, and the AAC one states the track's length to the sample for
// gapless players. A stop in the middle of an encode leaves no temporary file in any format.
TEST_F(RipCDTest, EachFormatHoldsTheAudioReadAndTheReleasesTags) {
  using disc::AudioFormat;
  const std::string kRelease = "0a1b2c3d-0000-4000-8000-00000000000a";
  const std::string kGroup = "0a1b2c3d-0000-4000-8000-00000000000b";
  const std::string kArtist = "0a1b2c3d-0000-4000-8000-00000000000c";
  const std::string kRecording = "0a1b2c3d-0000-4000-8000-00000000000d";
  auto identified = release();
  identified.id = kRelease;
  identified.releaseGroupMbid = kGroup;
  identified.artistMbid = kArtist;
  identified.date = "1992-10-27";
  identified.tracks[0].recordingMbid = kRecording;
  insertDisc({75, 150});
  drives->isrcs = {{1, "GBAYE9200070"}};
  facts.mcn = "4006381333931";
  for (const auto each : {AudioFormat::aac, AudioFormat::alac, AudioFormat::flac}) {
    SCOPED_TRACE(nameOf(each));
    const std::string ending(extensionOf(each));
    const bool mp4 = each != AudioFormat::flac;
    const auto itemsOf = [&](const char* name) {
      const auto file = albumFolder / (name + ending);
      return mp4 ? testing::readM4AItems(file) : testing::readFLACItems(file);
    };
    const auto key = [&](const char* vorbis, const char* freeform) {
      return mp4 ? std::string("----:com.apple.iTunes:") + freeform : std::string(vorbis);
    };
    fs::remove_all(library.path() / "ACDC");
    resetRip();
    format = each;
    EXPECT_EQ(rip(identified).back(), "ripComplete");
    EXPECT_EQ(filesUnder(albumFolder),
              (std::set<std::string>{"01 Intro" + ending, "02 Thunder_Struck" + ending, "cover.jpg",
                                     "rip.log"}));
    const auto items = itemsOf("02 Thunder_Struck");
    EXPECT_EQ(items.title, "Thunder/Struck");
    EXPECT_EQ(items.artist, "AC/DC");
    EXPECT_EQ(items.album, "Live: 1992?");
    EXPECT_EQ(items.trackNumber, std::pair(2, 2));
    EXPECT_EQ(items.jpegCovers,
              (std::vector<std::vector<std::uint8_t>>{{'c', 'o', 'v', 'e', 'r'}}));
    const std::map<std::string, std::string> released{
        {mp4 ? "aART" : "ALBUMARTIST", "AC/DC"},
        {mp4 ? "\251day" : "DATE", "1992-10-27"},
        {key("MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id"), kRelease},
        {key("MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group Id"), kGroup},
        {key("MUSICBRAINZ_ARTISTID", "MusicBrainz Artist Id"), kArtist},
        {key("MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist Id"), kArtist}};
    for (const auto& [name, value] : released) {
      EXPECT_EQ(items.texts.contains(name) ? items.texts.at(name) : "", value) << name;
    }
    EXPECT_EQ(items.texts.at(key("BARCODE", "BARCODE")), "4006381333931");
    const auto recording = key("MUSICBRAINZ_TRACKID", "MusicBrainz Track Id");
    const auto isrc = key("ISRC", "ISRC");
    EXPECT_FALSE(items.texts.contains(recording));
    EXPECT_FALSE(items.texts.contains(isrc));
    EXPECT_EQ(itemsOf("01 Intro").texts[recording], kRecording);
    EXPECT_EQ(itemsOf("01 Intro").texts[isrc], "GBAYE9200070");
    if (isLossless(each)) {
      EXPECT_EQ(testing::decodeLosslessPCM(albumFolder / ("02 Thunder_Struck" + ending)),
                testing::FakeOpticalDrives::pattern(75, 150));
      EXPECT_EQ(items.iTunSMPB, std::nullopt);
    } else {  // 150 sectors of 588 samples
      EXPECT_THAT(items.iTunSMPB, Optional(HasSubstr(" 0000000000015888")));
    }

    fs::remove_all(library.path() / "ACDC");
    stopAt({Stage::encode, 2});
    EXPECT_EQ(rip(identified).back(), "ripStopped");
    EXPECT_EQ(filesUnder(albumFolder), (std::set<std::string>{"01 Intro" + ending, "cover.jpg"}));
  }
}

// The discs of a release share its album folder: the first keeps the names of a one-disc
// release, the files and the log of the second tell its number, and every file's tags name its
// disc. Undoing an import of the second disc leaves the first one's files as they were.
TEST_F(RipCDTest, TheDiscsOfAReleaseShareItsFolder) {
  using disc::AudioFormat;
  insertDisc({75, 150});
  auto first = release();
  first.discNumber = 1;
  first.discTotal = 2;
  auto second = first;
  second.discNumber = 2;
  second.tracks = {{1, "Encore", "AC/DC"}, {2, "Farewell", "AC/DC"}};
  for (const auto each : {AudioFormat::aac, AudioFormat::flac}) {
    SCOPED_TRACE(nameOf(each));
    const std::string ending(extensionOf(each));
    const auto discOf = [&](const std::string& name) {
      const auto file = albumFolder / (name + ending);
      return (each == AudioFormat::flac ? testing::readFLACItems(file)
                                        : testing::readM4AItems(file))
          .discNumber;
    };
    fs::remove_all(library.path() / "ACDC");
    resetRip();
    format = each;
    EXPECT_EQ(rip(first).back(), "ripComplete");
    EXPECT_EQ(rip(second).back(), "ripComplete");
    const std::set<std::string> both{"01 Intro" + ending,
                                     "02 Thunder_Struck" + ending,
                                     "2-01 Encore" + ending,
                                     "2-02 Farewell" + ending,
                                     "cover.jpg",
                                     "rip.log",
                                     "rip (disc 2).log"};
    EXPECT_EQ(filesUnder(albumFolder), both);
    EXPECT_EQ(discOf("02 Thunder_Struck"), std::pair(1, 2));
    EXPECT_EQ(discOf("2-02 Farewell"), std::pair(2, 2));

    stopAt({Stage::read, 2}, true);
    EXPECT_EQ(rip(second).back(), "ripStopped");
    EXPECT_EQ(filesUnder(albumFolder), both);
  }
}

// Audio before track 1 that the drive will not read (many cannot), or that is digital silence,
// costs the import nothing; rip.log tells what became of it.
TEST_F(RipCDTest, AudioBeforeTrackOneThatCannotBeReadOrIsSilentIsSkipped) {
  tracks = {{1, 75, 75}, {2, 150, 75}};
  platform::image::DiscImage image{.tracks = {{1, 75}, {2, 150}}, .leadOutSector = 225};
  drives->tocReplies["sr0"] = {platform::linux_cd::FullTocReply::Outcome::ok,
                               platform::image::imageFullToc(image)};
  for (const bool readable : {false, true}) {
    beforeRead = [=](std::int32_t first) { return first < 75 && !readable ? EIO : 0; };
    const auto pattern = drives->readHook;
    drives->readHook = [=](const testing::FakeOpticalDrives::AudioRead& read,
                           std::uint8_t* buffer) {
      const int result = pattern(read, buffer);
      std::fill_n(buffer, read.firstSector < 75 ? read.sectors * 2352 : 0, 0);
      return result;
    };
    EXPECT_EQ(rip(release()).back(), "ripComplete");
    EXPECT_EQ(
        filesUnder(albumFolder),
        (std::set<std::string>{"01 Intro.m4a", "02 Thunder_Struck.m4a", "cover.jpg", "rip.log"}));
    EXPECT_NE(testing::fileContents(albumFolder / "rip.log").find("Hidden track: 75 sectors"),
              std::string::npos);
  }
}

// An album folder that cannot be made ends the import, and nothing of it is left.
TEST_F(RipCDTest, AnAlbumFolderThatCannotBeMadeEndsTheImport) {
  insertDisc({75, 75, 75});
  std::ofstream(library.path() / "ACDC") << "a file where the artist folder should be";
  EXPECT_THAT(rip(std::nullopt), ElementsAre("started 1", "progress", "ripFailed encodingFailed"));
}

void RipCDTest::stopAt(StopPoint point, bool removeFiles) {
  removeFilesOnStop = removeFiles;
  const auto prefix = (point.track < 10 ? ".0" : ".") + std::to_string(point.track);
  const auto trackFile = [prefix](const fs::path& path) {
    return path.filename().string().starts_with(prefix);
  };
  switch (point.stage) {
    case Stage::coverDownload:
      exchange = [this](const platform::http::HttpRequest& request, std::stop_token stop) {
        stopNow();
        return platform::http::sendHttpRequest(request, std::move(stop));
      };
      break;
    case Stage::read:  // in the middle of the track, at its second request of sectors
      beforeRead = [this, second = tracks[point.track - 1].startSector + 75](std::int32_t first) {
        if (first == second) {
          stopNow();
        }
        return 0;
      };
      break;
    case Stage::encode: {
      auto writer = std::make_shared<HookedAACWriter>();
      writer->afterWrite = [this, trackFile](const fs::path& path, std::size_t) {
        if (trackFile(path)) {
          stopNow();
        }
      };
      ripCD.ripTrack.encodeToAAC.writer = writer;
      break;
    }
    case Stage::tagging:
      // The stop comes while the tagged copy takes the temporary file's place, and that fails.
      ripCD.ripTrack.embedMetadata.replaceFile = [this, trackFile](const fs::path& from,
                                                                   const fs::path& to) {
        if (trackFile(to)) {
          stopNow();
          throw fs::filesystem_error("rename", from, to,
                                     std::make_error_code(std::errc::device_or_resource_busy));
        }
        fs::rename(from, to);
      };
      break;
  }
}

// A stop keeps the tracks completed before it; "Stop and Remove Files" leaves nothing of the
// import. Neither ever touches the artist picture that was there before, nor leaves a temporary
// file. (A disc ejected mid-read is a journey.)
TEST_F(RipCDTest, AStopAtAnyStageKeepsCompletedTracksAndNeverTheUsersPicture) {
  const std::set<std::string> none;
  const std::set<std::string> first = {"01 Intro.m4a", "cover.jpg"};
  const struct {
    StopPoint at;
    std::set<std::string> albumAfterStop;
  } cases[] = {
      {{Stage::coverDownload}, none},
      {{Stage::read, 2}, first},
      {{Stage::encode, 1}, none},
      {{Stage::encode, 3}, {"01 Intro.m4a", "02 Thunder_Struck.m4a", "cover.jpg"}},
      {{Stage::tagging, 2}, first},
  };
  insertDisc({75, 150, 150});
  for (const auto& [at, albumAfterStop] : cases) {
    for (const bool removeFiles : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "stage " << int(at.stage) << ", track " << at.track
                                        << (removeFiles ? ", files removed" : ""));
      fs::remove_all(library.path() / "ACDC");
      fs::create_directories(library.path() / "ACDC");
      std::ofstream(library.path() / "ACDC" / "folder.jpg") << "the user's own picture";
      resetRip();
      stopAt(at, removeFiles);

      EXPECT_EQ(rip(release()).back(), "ripStopped");
      EXPECT_EQ(filesUnder(albumFolder), removeFiles ? none : albumAfterStop);
      EXPECT_EQ(testing::fileContents(library.path() / "ACDC" / "folder.jpg"),
                "the user's own picture");
    }
  }
}

TEST_F(RipCDTest, AStopBeforeTheFirstTrackTakesAwayThePicturesThisImportSaved) {
  insertDisc({75, 75});
  stopAt({Stage::encode, 1});
  EXPECT_THAT(rip(release()), ElementsAre("started 1", "progress", "ripStopped"));
  EXPECT_TRUE(filesUnder(library.path()).empty());
}

// Importing an album again replaces each earlier file only with a complete new one. A stop keeps
// what it finished (and the new cover) and leaves every other earlier file as it was; a failure
// or "Stop and Remove Files" puts every earlier file back as it was: tracks, cover, rip log.
// However the album folder is spelled (here with a trailing separator), the artist's picture
// goes to the artist folder.
TEST_F(RipCDTest, AReimportThatDoesNotCompleteLeavesTheEarlierAlbum) {
  insertDisc({75, 150, 150});
  ASSERT_EQ(rip(release(), albumFolder / "").back(), "ripComplete");
  EXPECT_EQ(testing::fileContents(library.path() / "ACDC" / "folder.jpg"), "portrait");
  std::map<std::string, std::string> earlier;
  for (const auto& name : filesUnder(albumFolder)) {
    earlier[name] = "earlier " + name;
  }
  EXPECT_EQ(earlier.size(), 5u) << "three tracks, the cover and the rip log";
  const struct {
    StopPoint at;
    bool removeFiles = false;
    bool fails = false;
  } cases[] = {
      {{Stage::read, 2}},
      {{Stage::encode, 3}},
      {{Stage::read, 2}, true},
      {{Stage::encode, 3}, true},
      {{Stage::read, 3}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "stage " << int(c.at.stage) << ", track " << c.at.track
                 << (c.removeFiles ? ", files removed" : "") << (c.fails ? ", failing" : ""));
    for (const auto& [name, contents] : earlier) {
      std::ofstream(albumFolder / name, std::ios::binary | std::ios::trunc) << contents;
    }
    resetRip();
    if (c.fails) {
      beforeRead = [failing = tracks[c.at.track - 1].startSector](std::int32_t sector) {
        return sector == failing ? ENOMEDIUM : 0;
      };
    } else {
      stopAt(c.at, c.removeFiles);
    }

    EXPECT_EQ(rip(release()).back(),
              c.fails ? "ripFailed readFailed(" + std::to_string(ENOMEDIUM) + ")" : "ripStopped");
    EXPECT_EQ(filesUnder(albumFolder).size(), earlier.size()) << "no other file is left";
    const bool undone = c.removeFiles || c.fails;
    for (const auto& [name, contents] : earlier) {
      const bool finished = name < "0" + std::to_string(c.at.track) || name == "cover.jpg";
      EXPECT_EQ(testing::fileContents(albumFolder / name) == contents, undone || !finished) << name;
    }
  }
}

}  // namespace
}  // namespace noru::rip
