// The whole import of a generated 14-track, 10-minute disc image through RipCD, against the
// ffmpeg command line encoding the same PCM, and the peak resident memory of that import.
//
//   [NORU_BENCH_FORMAT=alac|flac] bench_import_disc [--benchmark_... options]
//
// With NORU_BENCH_FORMAT the import writes Apple Lossless or FLAC, and the command line encodes
// to the same format (`-c:a alac` / `-c:a flac -compression_level 8`, the level ours writes);
// their target is parity (at most 1.10).
//
// The disc image is a drive as the application sees it: an ImageDriveRegistry behind
// SystemDrives (no hardware drives here), found by DetectCDDrives and ReadCDDiscInfo. RipCD runs
// as the ripping middleware runs it, on a task of its own, while this thread serves the main
// queue (every second of audio read waits for its progress report there) and a store reduces
// the actions it dispatches. The release has a cover and an artist picture, which a stand-in
// for the Cover Art Archive and the metadata service on 127.0.0.1 serves: the import downloads
// both, saves them, and embeds the cover in every file. The command line only encodes: the
// 14 tracks as raw s16le stereo 44.1 kHz files, one `ffmpeg` after the other, with the same
// `aac` encoder at 256 kbit/s and `-threads 1` (the encoder has no threads of its own; this
// keeps the comparison one encode at a time on both sides). The two alternate, round after
// round, so that a change in the machine's load weighs on both alike.
//
// The import encodes on as many tasks as the machine has cores while it reads on; the command
// line, one track after the other, on one.
//
// Targets: on a 2-core machine the import takes at most 0.60 times as long as the command line;
// its peak resident memory exceeds the resident memory it started from by at most
// min((encoders + 1) x the largest track's PCM block, 1 GiB) plus 64 MiB: a block waiting or
// being encoded per encoder and the one being read. The memory is measured in a fresh process
// (this program started again), so that nothing of the benchmark's own set-up is counted.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "disc/audio_format.h"
#include "disc/cd_lookup_release.h"
#include "disc/detect_cd_drives.h"
#include "disc/read_cd_disc_info.h"
#include "platform/image/image_drive_registry.h"
#include "platform/image/system_drives.h"
#include "platform/tasks/application_runtime.h"
#include "rip/rip_cd.h"
#include "state/app_reducer.h"
#include "state/app_store.h"
#include "support/disc_image_writer.h"
#include "support/fake_optical_drives.h"
#include "support/manual_main_queue.h"
#include "support/temporary_folder.h"
#include "support/test_http_server.h"

namespace {

namespace fs = std::filesystem;
using namespace noru;
using bench::cpuSeconds;
using bench::runProcess;
using bench::statusKiB;

// Track lengths in seconds: 14 tracks, 600 seconds in all.
constexpr int kTrackSeconds[] = {41, 56, 38, 47, 44, 35, 49, 40, 52, 37, 43, 39, 46, 33};
constexpr std::int32_t kSectorsPerSecond = 75;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kRounds = 3;
// AAC: the import encodes on both cores; the lossless encoders are fast enough that the import
// is about the disc image's reads and the files' writes, so only parity is asked of them.
constexpr double kAACTimeTarget = 0.60;
constexpr double kLosslessTimeTarget = 1.10;
constexpr double kMemoryAllowanceMiB = 64.0;
constexpr auto kImportLimit = std::chrono::minutes(10);
constexpr const char* kChildFlag = "--measure-import-memory";

// The format of the run: NORU_BENCH_FORMAT=aac (the default), alac or flac.
disc::AudioFormat benchFormat() {
  const char* name = std::getenv("NORU_BENCH_FORMAT");
  return disc::audioFormatNamed(name ? name : "").value_or(disc::AudioFormat::aac);
}

// Picture bytes of a typical size, framed as a JPEG (start and end markers); nothing decodes
// them on the way into the library.
std::string pictureBytes(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  for (auto& byte : bytes) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<char>(seed >> 24);
  }
  const unsigned char start[] = {0xFF, 0xD8, 0xFF, 0xE0};
  std::memcpy(bytes.data(), start, sizeof start);
  bytes[size - 2] = static_cast<char>(0xFF);
  bytes[size - 1] = static_cast<char>(0xD9);
  return bytes;
}

disc::CDLookupRelease benchRelease() {
  disc::CDLookupRelease release{
      .id = "bench-release",
      .title = "Ten Minutes",
      .artistCredit = "Bench Ensemble",
      .artistMbid = "bench-artist",
      .caaId = 1,
      .caaReleaseMbid = "bench-caa",
  };
  for (std::size_t i = 0; i < std::size(kTrackSeconds); ++i) {
    const auto number = static_cast<std::int64_t>(i + 1);
    release.tracks.push_back({.number = number,
                              .title = "Piece " + std::to_string(number),
                              .artistCredit = release.artistCredit,
                              .lengthMs = kTrackSeconds[i] * 1000});
  }
  return release;
}

// The stand-ins for the Cover Art Archive (a 1200-pixel cover of 300 KiB) and the metadata
// service (the artist's record and a 100 KiB picture), on 127.0.0.1.
class StandInServices {
 public:
  StandInServices() {
    server_.respond("GET", "/release/bench-caa/1-1200.jpg", 200, pictureBytes(300 * 1024, 1),
                    "image/jpeg");
    server_.respond("GET", "/v1/artists/bench-artist", 200,
                    R"({"thumb_url":")" + server_.url("/portrait.jpg") + R"("})");
    server_.respond("GET", "/portrait.jpg", 200, pictureBytes(100 * 1024, 2), "image/jpeg");
  }
  std::string url() const { return server_.url(); }

 private:
  testing::TestHttpServer server_;
};

// The application's import machinery for one disc image: the runtime with a main queue that
// this thread serves, the drives as the application wraps them, the disc as the disc watcher
// finds it, RipCD as the ripping middleware builds it, and a store for its actions.
class ImportRig {
 public:
  ImportRig(const fs::path& cuePath, const std::string& serviceURL)
      : runtime_(mainQueue_),
        images_(std::make_shared<platform::image::ImageDriveRegistry>()),
        drives_(std::make_shared<platform::image::SystemDrives>(
            std::make_shared<testing::FakeOpticalDrives>(), images_)),
        ripCD_(drives_, {.metadataService = serviceURL,
                         .coverArtArchive = serviceURL,
                         .accurateRip = serviceURL}) {  // the disc is not in the database
    images_->addImage(cuePath);
    mainQueue_.runPending();
    for (const auto& drive : disc::DetectCDDrives(drives_)()) {
      if (drive.hasDisc) {
        drive_ = drive;
      }
    }
    if (!drive_) {
      throw std::runtime_error("the disc image is not listed as a drive with a disc");
    }
    const auto info = disc::ReadCDDiscInfo(drives_)(*drive_);
    if (!info || info->tracks.size() != std::size(kTrackSeconds)) {
      throw std::runtime_error("the disc image's table of contents does not read back");
    }
    tracks_ = info->tracks;

    // The state of an import that has just started: the disc, its one release, isRipping.
    state::AppState initial;
    initial.cdRip.drives = {*drive_};
    initial.cdRip.selectedDrive = drive_;
    initial.cdRip.discInfo = info;
    initial.cdRip.totalTracks = static_cast<std::int64_t>(tracks_.size());
    initial.cdRip.lookupReleases = {release_};
    initial.cdRip.selectedRelease = release_;
    initial.cdRip.isRipping = true;
    initial_ = std::move(initial);
  }

  std::int64_t largestTrackBytes() const {
    std::int64_t largest = 0;
    for (const auto& track : tracks_) {
      largest = std::max<std::int64_t>(largest, std::int64_t{track.sectorCount} * 2352);
    }
    return largest;
  }

  // Imports the disc into library / artist / album; true when it ended with ripComplete and
  // every track's file.
  bool importInto(const fs::path& library) {
    auto store = state::AppStore::make(initial_, state::reduceApp, {});
    // What the store's own redispatch does: each action is dispatched on a later main-queue
    // turn.
    const state::Dispatch dispatch = [weakStore = std::weak_ptr(store),
                                      queue = &mainQueue_](state::AnyAction action) {
      queue->post([weakStore, action = std::move(action)]() mutable {
        if (auto target = weakStore.lock()) {
          target->dispatch(std::move(action));
        }
      });
    };
    const auto album = std::make_shared<rip::AlbumFolder>(
        library / release_.artistCredit / release_.title, benchFormat());
    auto task = runtime_.taskRunner().spawn([ripCD = ripCD_, drive = *drive_, tracks = tracks_,
                                             release = std::optional(release_), album,
                                             dispatch](std::stop_token stop) {
      ripCD(drive, tracks, release, *album, dispatch, std::move(stop));
    });
    const bool ended =
        mainQueue_.runUntil([&] { return !store->state().cdRip.isRipping; }, kImportLimit);
    if (!ended) {
      task.cancel();
    }
    task.value();
    mainQueue_.runPending();
    const auto& rip = store->state().cdRip;
    return ended && !rip.error && rip.rippedFiles.size() == tracks_.size();
  }

 private:
  testing::ManualMainQueue mainQueue_;
  platform::tasks::ApplicationRuntime runtime_;
  std::shared_ptr<platform::image::ImageDriveRegistry> images_;
  std::shared_ptr<platform::image::SystemDrives> drives_;
  rip::RipCD ripCD_;
  std::optional<disc::CDDrive> drive_;
  std::vector<disc::CDTrackInfo> tracks_;
  disc::CDLookupRelease release_ = benchRelease();
  state::AppState initial_;
};

// The disc image, the same tracks as raw PCM files for the command line, and the services.
struct Fixture {
  Fixture() {
    std::vector<testing::ImageTrackPlan> plan;
    for (int seconds : kTrackSeconds) {
      plan.push_back({.sectors = seconds * kSectorsPerSecond});
    }
    auto image = testing::writeDiscImage(folder.path(), "Ten Minutes", plan);
    cuePath = image.cuePath;
    for (const auto& track : image.tracks) {
      const auto pcm = image.discAudio(track.startSector, track.sectors);
      const auto file = folder.path() / ("track" + std::to_string(track.number) + ".pcm");
      std::ofstream out(file, std::ios::binary);
      out.write(reinterpret_cast<const char*>(pcm.data()),
                static_cast<std::streamsize>(pcm.size()));
      if (!out) {
        throw std::runtime_error("cannot write " + file.string());
      }
      pcmFiles.push_back(file);
      pcmBytes += pcm.size();
    }
  }

  testing::TemporaryFolder folder;
  StandInServices services;
  fs::path cuePath;
  std::vector<fs::path> pcmFiles;
  std::size_t pcmBytes = 0;
};

Fixture& fixture() {
  static Fixture shared;
  return shared;
}

ImportRig& rig() {
  static ImportRig shared(fixture().cuePath, fixture().services.url());
  return shared;
}

void BM_ImportDisc(benchmark::State& state) {
  auto& import = rig();
  double cpu = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const auto library = fixture().folder.path() / "library";
    fs::remove_all(library);
    fs::create_directories(library);
    state.ResumeTiming();
    const double before = cpuSeconds(RUSAGE_SELF);
    if (!import.importInto(library)) {
      state.SkipWithError("the import did not complete");
      break;
    }
    cpu += cpuSeconds(RUSAGE_SELF) - before;
  }
  state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture().pcmBytes));
}

// What the command line runs for one track: the same encoder, rate and container as ours.
std::vector<std::string> ffmpegCommand(const fs::path& input, const fs::path& output) {
  std::vector<std::string> command{"ffmpeg",
                                   "-nostdin",
                                   "-v",
                                   "error",
                                   "-y",
                                   "-f",
                                   "s16le",
                                   "-ar",
                                   "44100",
                                   "-ac",
                                   "2",
                                   "-i",
                                   input,
                                   "-threads",
                                   "1",
                                   "-c:a",
                                   std::string(nameOf(benchFormat()))};
  if (benchFormat() == disc::AudioFormat::aac) {
    command.insert(command.end(), {"-b:a", "256k"});
  }
  if (benchFormat() == disc::AudioFormat::flac) {
    command.insert(command.end(), {"-compression_level", "8"});
  }
  command.push_back(output);
  return command;
}

void BM_FFmpegCommandLine(benchmark::State& state) {
  const auto& files = fixture().pcmFiles;
  const auto output = fixture().folder.path() / "theirs";
  fs::create_directories(output);
  const double before = cpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      const auto target =
          output / ("track" + std::to_string(i + 1) + std::string(extensionOf(benchFormat())));
      if (runProcess(ffmpegCommand(files[i], target)) != 0) {
        state.SkipWithError("ffmpeg failed");
        return;
      }
    }
  }
  state.counters["cpu_s"] =
      benchmark::Counter(cpuSeconds(RUSAGE_CHILDREN) - before, benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture().pcmBytes));
}

// The child's side of the memory measurement: sets the import up, makes the resident size of
// that moment the high-water mark (writing 5 to clear_refs resets it), imports, and writes
// "<resident at start> <peak> <largest track's bytes>" (KiB, KiB, bytes) to `resultFile`.
int measureImportInThisProcess(const fs::path& cuePath, const std::string& serviceURL,
                               const fs::path& library, const fs::path& resultFile) {
  ImportRig import(cuePath, serviceURL);
  std::ofstream("/proc/self/clear_refs") << "5";
  const std::int64_t startKiB = statusKiB("VmRSS");
  const bool completed = import.importInto(library);
  const std::int64_t peakKiB = statusKiB("VmHWM");
  if (!completed) {
    return 1;
  }
  std::ofstream(resultFile) << startKiB << ' ' << peakKiB << ' ' << import.largestTrackBytes()
                            << '\n';
  return 0;
}

// Runs first, before the benchmark has grown: this program again, in a process of its own.
void measurePeakMemory() {
  const auto library = fixture().folder.path() / "memory-library";
  const auto resultFile = fixture().folder.path() / "memory.txt";
  fs::create_directories(library);
  std::fflush(stdout);
  if (runProcess({"/proc/self/exe", kChildFlag, fixture().cuePath.string(),
                  fixture().services.url(), library.string(), resultFile.string()}) != 0) {
    std::printf("Peak memory of the import: the measuring process failed\n\n");
    return;
  }
  std::int64_t startKiB = 0, peakKiB = 0, blockBytes = 0;
  std::ifstream(resultFile) >> startKiB >> peakKiB >> blockBytes;
  const double start = static_cast<double>(startKiB) / 1024.0;
  const double peak = static_cast<double>(peakKiB) / 1024.0;
  const double block = static_cast<double>(blockBytes) / kMiB;
  const auto bounds = rip::OverlappedWrites::Bounds::ofMachine();
  const double blocks = std::min(static_cast<double>(bounds.encoders + 1) * block,
                                 static_cast<double>(bounds.audioBytes) / kMiB);
  const double growth = peak - start;
  const double allowed = blocks + kMemoryAllowanceMiB;
  std::printf(
      "Peak memory of the import (14 tracks, 10 minutes): resident %.1f MiB at its start, "
      "peak %.1f MiB; growth %.1f MiB against an allowance of %.1f MiB (%zu encoders + 1 read "
      "times the largest track's PCM block of %.1f MiB, at most 1 GiB, + %.0f MiB): ratio %.3f "
      "(target: at most 1) %s\n"
      "The whole process's peak against the same allowance: ratio %.3f\n\n",
      start, peak, growth, allowed, bounds.encoders, block, kMemoryAllowanceMiB, growth / allowed,
      growth <= allowed ? "MET" : "MISSED", peak / allowed);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], kChildFlag) == 0) {
    return measureImportInThisProcess(argv[2], argv[3], argv[4], argv[5]);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  measurePeakMemory();

  bench::registerAlternatingRounds(
      {{"BM_ImportDisc", BM_ImportDisc}, {"BM_FFmpegCommandLine", BM_FFmpegCommandLine}}, kRounds);
  bench::RoundsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto* ours = reporter.find("BM_ImportDisc");
  const auto* theirs = reporter.find("BM_FFmpegCommandLine");
  if (ours && theirs) {
    const double ourTime = bench::median(ours->wallMs);
    const double theirTime = bench::median(theirs->wallMs);
    const double ratio = ourTime / theirTime;
    const double target = isLossless(benchFormat()) ? kLosslessTimeTarget : kAACTimeTarget;
    std::printf(
        "\nWhole import (%s) against the ffmpeg command line, wall-clock time (median of %zu "
        "rounds): %.0f ms / %.0f ms = %.3f (target: at most %.2f) %s\n",
        std::string(nameOf(benchFormat())).c_str(), ours->wallMs.size(), ourTime, theirTime, ratio,
        target, ratio <= target ? "MET" : "MISSED");
    // CPU time barely depends on what else the machine runs meanwhile: a check on the above.
    const double ourCpu = bench::median(ours->cpuMs);
    const double theirCpu = bench::median(theirs->cpuMs);
    std::printf(
        "The same in CPU time (all threads of the import; all ffmpeg processes): %.0f ms / "
        "%.0f ms = %.3f\n",
        ourCpu, theirCpu, ourCpu / theirCpu);
  }
  return 0;
}
