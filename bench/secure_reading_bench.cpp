// The cost of reading securely: a clean 14-track, 10-minute disc on a model drive reading at
// 24x (1,800 sectors a second), imported through RipCD when the AccurateRip database knows the
// disc and when it does not, against what one pass over the disc costs: the drive's time to
// read every sector once, and the encode of the last track, which no read can hide (the files
// of the others are written while the drive reads on).
//
//   bench_secure_reading
//
// Targets: the import of the known disc takes at most 1.10 times one pass's read time plus the
// last track's encode; the unknown disc (every track read twice and compared) takes at most one
// more read pass on top of that. Prints the sectors read beyond one pass in each case, and the
// encodes of all tracks one after the other, which the import no longer waits for.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/drive_offsets.h"
#include "accuraterip/track_checksums.h"
#include "disc/parse_full_toc.h"
#include "platform/tasks/application_runtime.h"
#include "rip/rip_cd.h"
#include "support/accuraterip_files.h"
#include "support/disc_image_writer.h"
#include "support/manual_main_queue.h"
#include "support/model_drive.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace {

namespace fs = std::filesystem;
using namespace noru;
using Clock = std::chrono::steady_clock;

constexpr int kTrackSeconds[] = {41, 56, 38, 47, 44, 35, 49, 40, 52, 37, 43, 39, 46, 33};
constexpr double kSectorsPerSecond = 24 * 75;
constexpr double kKnownTarget = 1.10;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class Bench {
 public:
  Bench() {
    std::vector<testing::ImageTrackPlan> plan;
    for (const int seconds : kTrackSeconds) {
      plan.push_back({.sectors = seconds * 75});
    }
    image_ = testing::writeDiscImage(folder_.path(), "disc", plan);
    for (const auto& track : image_.tracks) {
      tracks_.push_back({track.number, track.startSector, track.sectors});
    }
    server_.respond("GET", "/accuraterip/DriveOffsets.bin", 200,
                    testing::driveOffsetRecord("NORU - MODEL DRIVE", 0),
                    "application/octet-stream");
  }

  std::int32_t sectors() const { return image_.leadOutSector; }

  // One pass over the disc on a fresh drive, every sector read once as an import reads it (each
  // request's progress told on the main thread), nothing else.
  double readPass() {
    testing::ModelDrive drive(image_.cuePath, {.sectorsPerSecond = kSectorsPerSecond});
    return onTask([&](std::stop_token stop) {
      disc::DiscReader reader(std::shared_ptr<testing::ModelDrive>(&drive, [](auto*) {}),
                              drive.bsdName(), {0, sectors()}, true);
      disc::ReadCDSectors read;
      for (const auto& track : tracks_) {
        read(
            reader, track.startSector, track.sectorCount, [](double) {}, stop);
      }
    });
  }

  // The encodes of the last `count` tracks, one after the other.
  double encodes(std::size_t count) {
    return onTask([&](std::stop_token stop) {
      rip::EncodeTrackToAAC encode;
      for (const auto& track : std::span(tracks_).last(count)) {
        encode(image_.discAudio(track.startSector, track.sectorCount),
               folder_.path() / "encoded.m4a", track.number, stop);
      }
    });
  }

  // The whole import; the sectors read beyond one pass go to `extraReads`.
  double import(bool known, std::int64_t& extraReads) {
    testing::ModelDrive drive(image_.cuePath, {.sectorsPerSecond = kSectorsPerSecond});
    answer(drive, known);
    rip::RipCD ripCD(std::shared_ptr<testing::ModelDrive>(&drive, [](auto*) {}),
                     {.accurateRip = server_.url()});
    const disc::CDDrive model = drive.cdDrive();
    fs::remove_all(folder_.path() / "library");
    rip::AlbumFolder album(folder_.path() / "library" / "Artist" / "Album");
    const double seconds = onTask([&](std::stop_token stop) {
      ripCD(
          model, tracks_, std::nullopt, album, [](state::AnyAction) {}, stop);
    });
    extraReads = drive.totalReads() - sectors();
    return seconds;
  }

 private:
  // Runs `work` on a task while this thread serves the main queue; its wall-clock seconds.
  double onTask(const std::function<void(std::stop_token)>& work) {
    const auto start = Clock::now();
    auto task = runtime_.taskRunner().spawn(work);
    mainQueue_.runUntil([&] { return task.hasEnded(); }, std::chrono::minutes(10));
    task.value();
    return secondsSince(start);
  }

  void answer(testing::ModelDrive& drive, bool known) {
    const auto toc = drive.readFullToc(drive.bsdName());
    const auto ids = *accuraterip::DiscIdentifiers::from(*disc::parseFullTOCLayout(toc.bytes));
    server_.respond("GET", ids.databasePath(), known ? 200 : 404,
                    known ? testing::accurateRipFileOf(image_, ids, 9) : "",
                    "application/octet-stream");
  }

  testing::ManualMainQueue mainQueue_;
  platform::tasks::ApplicationRuntime runtime_{mainQueue_};
  testing::TemporaryFolder folder_;
  testing::TestHttpServer server_;
  testing::WrittenDiscImage image_;
  std::vector<disc::CDTrackInfo> tracks_;
};

void report(const char* what, double ratio, double target) {
  std::printf("%-62s %.3f of %.2f  %s\n", what, ratio, target, ratio <= target ? "MET" : "MISSED");
}

}  // namespace

int main() {
  Bench bench;
  const double pass = bench.readPass();
  const double encodes = bench.encodes(std::size(kTrackSeconds));
  const double lastEncode = bench.encodes(1);
  std::int64_t knownExtra = 0;
  std::int64_t unknownExtra = 0;
  const double known = bench.import(true, knownExtra);
  const double unknown = bench.import(false, unknownExtra);
  std::printf("one read pass %.1f s, encodes %.1f s (the last track's %.1f s), %d sectors\n", pass,
              encodes, lastEncode, bench.sectors());
  std::printf("known disc:   import %.1f s, %lld sectors read beyond one pass\n", known,
              static_cast<long long>(knownExtra));
  std::printf("unknown disc: import %.1f s, %lld sectors read beyond one pass\n", unknown,
              static_cast<long long>(unknownExtra));
  report("known disc: import / (read pass + last track's encode)", known / (pass + lastEncode),
         kKnownTarget);
  report("unknown disc: (import - known disc's import) / read pass", (unknown - known) / pass, 1.0);
  return 0;
}
