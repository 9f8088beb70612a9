#include "support/model_drive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

#include "support/disc_image_writer.h"
#include "support/runtime_fixture.h"
#include "support/temporary_folder.h"

namespace noru::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using C2 = ModelDrive::C2;

class ModelDriveTest : public RuntimeFixture {
 protected:
  // Reads through a descriptor of its own into `audio` and `flags`: 0, or the errno.
  int read(std::int32_t firstSector, int sectors) {
    const int descriptor = drive->open(drive->bsdName());
    audio.assign(std::max(sectors, 1) * std::size_t{2352}, 0);
    flags.assign(std::max(sectors, 1) * std::size_t{588}, 9);
    const int result =
        drive->readAudioFlagged(descriptor, firstSector, sectors, audio.data(), flags.data());
    const int error = result == 0 ? 0 : errno;
    drive->close(descriptor);
    return error;
  }

  TemporaryFolder folder;
  WrittenDiscImage image = writeDiscImage(folder.path(), "Model", {{.sectors = 20}});
  std::unique_ptr<ModelDrive> drive;
  Bytes audio, flags;
};

// Successive reads of one scripted sector: failures, then wrong audio and its C2 flags, then
// the right audio.
TEST_F(ModelDriveTest, ReadsAScriptedSectorAsScripted) {
  enum Outcome { failed, right, wrong, sameWrong };
  const struct {
    ModelDrive::Options options;
    SectorScript script;
    std::vector<Outcome> reads;
  } rows[] = {
      {{}, {}, {right, right}},
      {{}, {.failingReads = 2}, {failed, failed, right}},
      {{}, {.wrongReads = 2}, {wrong, wrong, right}},
      {{.c2 = C2::honest},
       {.wrongReads = SectorScript::kEvery, .sameWrongAudio = true},
       {wrong, sameWrong, sameWrong}},
      {{.c2 = C2::lying}, {.failingReads = 1, .wrongReads = 1}, {failed, wrong, right}},
  };
  const Bytes real = image.discAudio(5, 1);
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.reads));
    drive = std::make_unique<ModelDrive>(image.cuePath, row.options);
    drive->script(5, row.script);
    std::vector<Bytes> wrongs;
    for (const Outcome outcome : row.reads) {
      ASSERT_EQ(read(5, 1), outcome == failed ? EIO : 0);
      if (outcome == failed) {
        continue;
      }
      EXPECT_EQ(audio == real, outcome == right);
      EXPECT_EQ(std::ranges::count(wrongs, audio), outcome == sameWrong ? int(wrongs.size()) : 0);
      for (int sample = 0; sample < 588; ++sample) {  // honest flags exactly the changed samples
        const bool changed =
            !std::equal(&audio[sample * 4], &audio[sample * 4 + 4], &real[sample * 4]);
        EXPECT_EQ(flags[sample] != 0, changed && row.options.c2 == C2::honest) << sample;
      }
      if (outcome != right) {
        wrongs.push_back(audio);
      }
    }
    EXPECT_EQ(drive->reads(5), int(row.reads.size()));
    EXPECT_EQ(drive->errorPointers(0), row.options.c2 == C2::missing
                                           ? platform::linux_cd::C2Mode::none
                                           : platform::linux_cd::C2Mode::bits294);
  }
}

// The drive as listed, requests it refuses, its cache, its counts, a medium that goes away, and
// the pace of the surface.
TEST_F(ModelDriveTest, ListsCachesCountsAndLosesItsMedium) {
  drive = std::make_unique<ModelDrive>(image.cuePath, ModelDrive::Options{.cacheSectors = 4});
  EXPECT_EQ(drive->devices()->front().productName, "NORU MODEL DRIVE");
  EXPECT_FALSE(drive->devices()->front().isDiscImage);
  drive->script(2, {.wrongReads = 1});
  drive->script(3, {.failingReads = 1});
  EXPECT_EQ(read(0, 5), EIO);  // 0 to 2 go into the cache (2 wrong) before 3 fails
  const Bytes wrong(audio.begin() + 2 * 2352, audio.begin() + 3 * 2352);
  EXPECT_EQ(read(3, 3), 0);
  EXPECT_EQ(read(2, 1), 0);  // three other sectors since: still cached
  EXPECT_EQ(audio, wrong);
  EXPECT_EQ(read(6, 1), 0);  // a fourth pushes it out
  EXPECT_EQ(read(2, 1), 0);
  EXPECT_EQ(audio, image.discAudio(2, 1));
  EXPECT_EQ(read(7, 13), 0);
  EXPECT_EQ(audio, image.discAudio(7, 13));
  EXPECT_EQ(read(18, 3), EIO);  // beyond the lead-out, as the image answers
  EXPECT_EQ(read(0, 76), EINVAL);
  EXPECT_EQ(drive->reads(2), 3);
  EXPECT_EQ(drive->sectorsReadMoreThanOnce(), (std::vector<std::int32_t>{2, 3, 18, 19}));
  EXPECT_EQ(drive->totalReads(), 4 + 3 + 1 + 1 + 1 + 13 + 3);
  EXPECT_EQ(drive->surfaceReads(), 4 + 3 + 0 + 1 + 1 + 13 + 1);  // 18 and 19 were still cached

  drive->removeMediumAt(7);
  EXPECT_EQ(read(5, 5), ENOMEDIUM);
  EXPECT_EQ(drive->open(drive->bsdName()), -1);
  EXPECT_EQ(errno, ENOMEDIUM);
  EXPECT_EQ(drive->opens, 9);
  EXPECT_EQ(drive->closes, 9);

  drive = std::make_unique<ModelDrive>(image.cuePath, ModelDrive::Options{.sectorsPerSecond = 500});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read(0, 20), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(40));
}

}  // namespace
}  // namespace noru::testing
