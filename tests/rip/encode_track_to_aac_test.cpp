#include "rip/encode_track_to_aac.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <fstream>
#include <memory>
#include <vector>

#include "disc/cd_rip_error.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/hooked_aac_writer.h"
#include "support/media_files.h"
#include "support/process_resources.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;

constexpr double kOneAACFrame = 1024.0 / 44100.0;

using testing::HookedAACWriter;

class EncodeTrackToAACTest : public ::testing::Test {
 protected:
  fs::path track(const char* name) const { return folder.path() / name; }

  // Runs an encode that must fail and returns the kind of error it raised.
  static disc::CDRipError::Kind failureOf(const EncodeTrackToAAC& encode, const fs::path& file) {
    try {
      encode(testing::syntheticCDAudio(40000 / 4), file, 5);
    } catch (const disc::CDRipError& error) {
      return error.kind();
    }
    ADD_FAILURE() << "no error";
    return {};
  }

  testing::TemporaryFolder folder;
};

TEST_F(EncodeTrackToAACTest, ThreeSecondsReplaceAFileWithAnAACLCFileOfTheSameLength) {
  const auto file = track("03 Song.m4a");
  std::ofstream(file) << std::string(1 << 20, 'x');

  EncodeTrackToAAC{}(testing::syntheticCDAudio(3 * 44100), file, 3);

  const auto facts = testing::probeAudioFile(file);
  EXPECT_EQ(facts.codec, "aac");
  EXPECT_EQ(facts.profile, 1);  // FF_PROFILE_AAC_LOW
  EXPECT_EQ(facts.sampleRate, 44100);
  EXPECT_EQ(facts.channels, 2);
  EXPECT_NEAR(facts.durationSeconds, 3.0, kOneAACFrame);
  EXPECT_NEAR(static_cast<double>(facts.bitRate), 256000.0, 256000.0 * 0.1);
  EXPECT_LT(fs::file_size(file), 1u << 20) << "the old file was not replaced";
}

// The chunks are spans of the block itself, and the last partial AAC frame is not lost.
TEST_F(EncodeTrackToAACTest, WritesChunksTakenInPlaceFromTheBlock) {
  struct Case {
    std::size_t bytes;
    std::vector<std::size_t> chunks;
  };
  for (const auto& [bytes, expected] :
       {Case{40000, {16384, 16384, 7232}}, Case{32768, {16384, 16384}}}) {
    SCOPED_TRACE(bytes);
    const auto pcm = testing::syntheticCDAudio(bytes / 4);
    auto writer = std::make_shared<HookedAACWriter>();
    const auto file = track("01 Chunks.m4a");

    EncodeTrackToAAC{.writer = writer}(pcm, file, 1);

    ASSERT_EQ(writer->chunks.size(), expected.size());
    std::size_t offset = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(writer->chunks[i].size(), expected[i]);
      EXPECT_EQ(writer->chunks[i].data(), pcm.data() + offset);
      offset += expected[i];
    }
    EXPECT_NEAR(testing::probeAudioFile(file).durationSeconds,
                static_cast<double>(bytes / 4) / 44100.0, kOneAACFrame);
  }
}

// A half-written M4A has no index and would sit in the library as a track that does not play.
TEST_F(EncodeTrackToAACTest, AFailedStepClosesAndRemovesThePartlyWrittenFile) {
  using Step = HookedAACWriter::Step;
  for (const auto& [step, status] :
       {std::pair{Step::thirdWrite, AVERROR(EIO)}, std::pair{Step::clientFormat, AVERROR(EINVAL)},
        std::pair{Step::finish, AVERROR(ENOSPC)}}) {
    SCOPED_TRACE(static_cast<int>(step));
    const auto file = track("05 Broken.m4a");
    const auto descriptorsBefore = testing::openFileDescriptorCount();

    EXPECT_EQ(failureOf({.writer = std::make_shared<HookedAACWriter>(step, status)}, file),
              disc::CDRipError::Kind::encodingFailed);

    EXPECT_EQ(testing::openFileDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(fs::exists(file));
  }
}

// A stop takes effect at the next chunk, not after the whole track (a 10-minute track takes
// many seconds to encode).
TEST_F(EncodeTrackToAACTest, AStopEndsALongEncodeAtTheNextChunkAndRemovesTheFile) {
  const std::vector<std::uint8_t> tenMinutes(10 * 60 * 44100 * 4);
  constexpr std::size_t kChunksBeforeStop = 40;  // about 100 ms into the encode
  std::stop_source stop;
  auto writer = std::make_shared<HookedAACWriter>();
  writer->afterWrite = [&](const fs::path&, std::size_t written) {
    if (written == kChunksBeforeStop) {
      stop.request_stop();
    }
  };
  const auto file = track("01 Long.m4a");

  EXPECT_THROW(EncodeTrackToAAC{.writer = writer}(tenMinutes, file, 1, stop.get_token()),
               platform::tasks::CancellationError);

  EXPECT_LE(writer->chunks.size(), kChunksBeforeStop + 1);
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(EncodeTrackToAACTest, AFileThatCannotBeCreatedRemovesNothing) {
  // A folder stands where the file should go: it cannot be opened for writing and must survive.
  const auto inTheWay = track("01 Busy.m4a");
  fs::create_directory(inTheWay);

  EXPECT_EQ(failureOf({}, inTheWay), disc::CDRipError::Kind::encodingFailed);
  EXPECT_TRUE(fs::is_directory(inTheWay));
}

TEST_F(EncodeTrackToAACTest, ARefusedBitRateStillYieldsAFileAtTheDefaultRate) {
  const auto file = track("02 Default.m4a");
  auto writer = std::make_shared<HookedAACWriter>(HookedAACWriter::Step::bitRate, AVERROR(EINVAL));
  EncodeTrackToAAC{.writer = writer}(testing::syntheticCDAudio(2 * 44100), file, 2);

  const auto facts = testing::probeAudioFile(file);
  EXPECT_EQ(facts.codec, "aac");
  EXPECT_NEAR(facts.durationSeconds, 2.0, kOneAACFrame);
  EXPECT_LT(facts.bitRate, 230000);
}

}  // namespace
}  // namespace noru::rip
