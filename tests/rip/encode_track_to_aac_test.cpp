#include "rip/encode_track_to_aac.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "disc/cd_rip_error.h"
#include "support/captured_log.h"
#include "support/media_files.h"
#include "support/temporary_folder.h"

namespace noru::rip {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFramesPerSecond = 44100;
constexpr double kOneAACFrame = 1024.0 / 44100.0;

std::size_t openDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// The real FFmpeg writer, with faults on request and a record of what the encoder asked for.
class ScriptedWriter final : public AACFileWriter {
 public:
  struct Script {
    std::optional<int> clientFormatStatus;
    std::optional<int> bitRateStatus;
    int failingWrite = 0;  // 1-based; 0 = none
    int writeStatus = 0;
    std::optional<int> finishStatus;
  };
  struct Record {
    std::vector<std::span<const std::uint8_t>> chunks;
    std::optional<std::int64_t> bitRate;
    bool closed = false;
  };

  explicit ScriptedWriter(Script script) : script_(script) {}

  Created create(const fs::path& file) const override {
    auto created = real_.create(file);
    if (created.file) {
      created.file = std::make_unique<File>(std::move(created.file), script_, record);
    }
    return created;
  }

  std::shared_ptr<Record> record = std::make_shared<Record>();

 private:
  class File final : public OpenFile {
   public:
    File(std::unique_ptr<OpenFile> real, Script script, std::shared_ptr<Record> record)
        : real_(std::move(real)), script_(script), record_(std::move(record)) {}
    ~File() override {
      real_.reset();
      record_->closed = true;
    }
    int setClientFormat() override {
      return script_.clientFormatStatus ? *script_.clientFormatStatus : real_->setClientFormat();
    }
    int setBitRate(std::int64_t bitsPerSecond) override {
      record_->bitRate = bitsPerSecond;
      return script_.bitRateStatus ? *script_.bitRateStatus : real_->setBitRate(bitsPerSecond);
    }
    int write(std::span<const std::uint8_t> pcm) override {
      record_->chunks.push_back(pcm);
      if (static_cast<int>(record_->chunks.size()) == script_.failingWrite) {
        return script_.writeStatus;
      }
      return real_->write(pcm);
    }
    int finish() override {
      const int status = real_->finish();
      return script_.finishStatus ? *script_.finishStatus : status;
    }

   private:
    std::unique_ptr<OpenFile> real_;
    Script script_;
    std::shared_ptr<Record> record_;
  };

  FFmpegAACFileWriter real_;
  Script script_;
};

class EncodeTrackToAACTest : public ::testing::Test {
 protected:
  fs::path track(const char* name) const { return folder.path() / name; }

  testing::TemporaryFolder folder;
  testing::CapturedLog log;
};

TEST_F(EncodeTrackToAACTest, ThreeSecondsBecomeAnAACLCFileOfTheSameLength) {
  const auto pcm = testing::syntheticCDAudio(3 * kFramesPerSecond);
  const auto file = track("03 Song.m4a");

  EncodeTrackToAAC{}(pcm, file, 3);

  const auto facts = testing::probeAudioFile(file);
  EXPECT_EQ(facts.codec, "aac");
  EXPECT_EQ(facts.profile, 1);  // FF_PROFILE_AAC_LOW
  EXPECT_EQ(facts.sampleRate, 44100);
  EXPECT_EQ(facts.channels, 2);
  EXPECT_NEAR(facts.durationSeconds, 3.0, kOneAACFrame);
  EXPECT_NEAR(static_cast<double>(facts.bitRate), 256000.0, 256000.0 * 0.1);
  EXPECT_NE(facts.container.find("m4a"), std::string::npos);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{
                             "EncodeTrackToAAC: encoding track 3 → 03 Song.m4a (529200 PCM bytes)",
                             "EncodeTrackToAAC: track 3 complete → 03 Song.m4a"}));
}

TEST_F(EncodeTrackToAACTest, WritesChunksTakenInPlaceFromTheBlock) {
  struct Case {
    std::size_t bytes;
    std::vector<std::size_t> chunks;
  };
  for (const auto& [bytes, expected] :
       {Case{40000, {16384, 16384, 7232}}, Case{32768, {16384, 16384}}, Case{0, {}}}) {
    SCOPED_TRACE(bytes);
    const auto pcm = testing::syntheticCDAudio(bytes / 4);
    auto writer = std::make_shared<ScriptedWriter>(ScriptedWriter::Script{});
    const auto file = track("01 Chunks.m4a");

    EncodeTrackToAAC{.writer = writer}(pcm, file, 1);

    std::size_t offset = 0;
    ASSERT_EQ(writer->record->chunks.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(writer->record->chunks[i].size(), expected[i]);
      EXPECT_EQ(writer->record->chunks[i].data(), pcm.data() + offset);
      offset += expected[i];
    }
    EXPECT_EQ(writer->record->bitRate, 256000);
    if (bytes > 0) {  // an M4A without samples has no audio track to probe
      EXPECT_NEAR(testing::probeAudioFile(file).durationSeconds,
                  static_cast<double>(bytes / 4) / 44100.0, kOneAACFrame);
    }
  }
}

TEST_F(EncodeTrackToAACTest, AFailedStepClosesAndRemovesThePartlyWrittenFile) {
  struct Case {
    ScriptedWriter::Script script;
    std::string line;
  };
  const Case cases[] = {
      {{.failingWrite = 3, .writeStatus = AVERROR(EIO)},
       "EncodeTrackToAAC: ExtAudioFileWrite failed status=-5 at offset 32768"},
      {{.clientFormatStatus = AVERROR(EINVAL)},
       "EncodeTrackToAAC: ExtAudioFileSetProperty(ClientDataFormat) failed status=-22"},
      {{.finishStatus = AVERROR(ENOSPC)},
       "EncodeTrackToAAC: ExtAudioFileDispose failed status=-28"},
  };
  const auto pcm = testing::syntheticCDAudio(40000 / 4);
  for (const auto& [script, line] : cases) {
    SCOPED_TRACE(line);
    log.clear();
    auto writer = std::make_shared<ScriptedWriter>(script);
    const auto file = track("05 Broken.m4a");
    const auto descriptorsBefore = openDescriptors();

    EXPECT_THROW(EncodeTrackToAAC{.writer = writer}(pcm, file, 5), disc::CDRipError);

    EXPECT_TRUE(log.contains(line));
    EXPECT_TRUE(writer->record->closed);
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    EXPECT_FALSE(fs::exists(file));
  }
  EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(EncodeTrackToAACTest, FailsWithEncodingFailedAndRemovesNothingWhenTheFileCannotBeCreated) {
  const auto pcm = testing::syntheticCDAudio(1000);
  // A folder stands where the file should go: it cannot be opened for writing and must survive.
  const auto inTheWay = track("01 Busy.m4a");
  fs::create_directory(inTheWay);

  try {
    EncodeTrackToAAC{}(pcm, inTheWay, 1);
    FAIL() << "no error";
  } catch (const disc::CDRipError& error) {
    EXPECT_EQ(error.kind(), disc::CDRipError::Kind::encodingFailed);
  }
  EXPECT_TRUE(log.contains("EncodeTrackToAAC: ExtAudioFileCreateWithURL failed status=-21"));
  EXPECT_TRUE(fs::is_directory(inTheWay));

  EXPECT_THROW(EncodeTrackToAAC{}(pcm, folder.path() / "missing" / "01 x.m4a", 1),
               disc::CDRipError);
  EXPECT_TRUE(log.contains("EncodeTrackToAAC: ExtAudioFileCreateWithURL failed status=-2"));
}

TEST_F(EncodeTrackToAACTest, ARefusedBitRateStillYieldsAFileAtTheDefaultRate) {
  const auto pcm = testing::syntheticCDAudio(2 * kFramesPerSecond);
  auto writer =
      std::make_shared<ScriptedWriter>(ScriptedWriter::Script{.bitRateStatus = AVERROR(EINVAL)});
  const auto file = track("02 Default.m4a");

  EncodeTrackToAAC{.writer = writer}(pcm, file, 2);

  const auto facts = testing::probeAudioFile(file);
  EXPECT_EQ(facts.codec, "aac");
  EXPECT_NEAR(facts.durationSeconds, 2.0, kOneAACFrame);
  EXPECT_LT(facts.bitRate, 230000);
}

TEST_F(EncodeTrackToAACTest, ReplacesAnExistingFile) {
  const auto file = track("04 Again.m4a");
  std::ofstream(file) << std::string(1 << 20, 'x');

  EncodeTrackToAAC{}(testing::syntheticCDAudio(kFramesPerSecond), file, 4);

  EXPECT_LT(fs::file_size(file), 1u << 20);
  EXPECT_NEAR(testing::probeAudioFile(file).durationSeconds, 1.0, kOneAACFrame);
}

}  // namespace
}  // namespace noru::rip
