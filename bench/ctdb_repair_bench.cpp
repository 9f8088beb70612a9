// The repair of a damaged rip from the CUETools database: a generated 60-minute, 12-track disc
// on the drive model of the tests, whose track 6 reads 30 sectors wrong the same way every time
// (so that no second read notices), imported through RipCD while a stand-in for the database on
// 127.0.0.1 holds the clean disc with its file of syndromes (16 a column). AccurateRip does not
// know the disc. The same disc read clean is imported first, for the import's own time and
// peak memory; the damaged import then adds the second read of the damaged track, the download
// of the syndromes, the search for the wrong samples, the check of the repaired disc's CRC and
// the new encode of the one repaired track.
//
//   bench_ctdb_repair
//
// Targets: the damaged import takes at most 10 s longer than the clean one, and its peak
// resident memory exceeds the clean import's by at most 64 MiB. Each peak is the growth above
// the resident size at the import's start (the high-water mark is reset there).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <zlib.h>

#include <openssl/evp.h>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/drive_offsets.h"
#include "bench_support.h"
#include "ctdb/rip_syndromes.h"
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
using bench::statusKiB;

constexpr int kTracks = 12;
constexpr std::int32_t kTrackSectors = 300 * 75;  // five minutes
constexpr int kDamagedTrack = 6;
constexpr std::int32_t kBurstSectors = 30;
constexpr double kTimeTarget = 10.0;    // seconds
constexpr double kMemoryTarget = 64.0;  // MiB

std::string hex(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", value);
  return text;
}

struct Measured {
  double seconds = 0;
  double peakGrowthMiB = 0;
  bool repaired = false;
};

class Bench {
 public:
  Bench() {
    image_ = testing::writeDiscImage(
        folder_.path(), "disc", std::vector<testing::ImageTrackPlan>(kTracks, {kTrackSectors}));
    for (const auto& track : image_.tracks) {
      tracks_.push_back({track.number, track.startSector, track.sectors});
    }
    server_.respond("GET", "/accuraterip/DriveOffsets.bin", 200,
                    testing::driveOffsetRecord("NORU - MODEL DRIVE", 0),
                    "application/octet-stream");
    answerWithCleanDisc();
  }

  Measured import(bool damaged) {
    testing::ModelDrive drive(image_.cuePath, {});
    if (damaged) {
      drive.script((kDamagedTrack - 1) * kTrackSectors + 5000, kBurstSectors,
                   {.wrongReads = testing::SectorScript::kEvery, .sameWrongAudio = true});
    }
    const auto toc = drive.readFullToc(drive.bsdName());
    const auto ids = *accuraterip::DiscIdentifiers::from(*disc::parseFullTOCLayout(toc.bytes));
    server_.respond("GET", ids.databasePath(), 404, "", "application/octet-stream");
    rip::RipCD ripCD(std::shared_ptr<testing::ModelDrive>(&drive, [](auto*) {}),
                     {.accurateRip = server_.url(), .cueToolsDatabase = server_.url()});
    const disc::CDDrive model = drive.cdDrive();
    fs::remove_all(folder_.path() / "library");
    rip::AlbumFolder album(folder_.path() / "library" / "Artist" / "Album");
    std::ofstream("/proc/self/clear_refs") << "5";
    const std::int64_t startKiB = statusKiB("VmRSS");
    const auto start = Clock::now();
    auto task = runtime_.taskRunner().spawn([&](std::stop_token stop) {
      ripCD(
          model, tracks_, std::nullopt, album, [](state::AnyAction) {}, stop);
    });
    mainQueue_.runUntil([&] { return task.hasEnded(); }, std::chrono::minutes(30));
    task.value();
    Measured measured{.seconds = std::chrono::duration<double>(Clock::now() - start).count(),
                      .peakGrowthMiB = static_cast<double>(statusKiB("VmHWM") - startKiB) / 1024.0};
    std::ifstream log(album.ripLog());
    const std::string text((std::istreambuf_iterator<char>(log)), {});
    measured.repaired = text.find("Result: repaired") != std::string::npos;
    return measured;
  }

 private:
  // The database holds the clean disc (read with the drive's offset, 0), with its syndromes.
  void answerWithCleanDisc() {
    const auto audio = image_.discAudio(0, kTracks * kTrackSectors);
    const std::int64_t samples = static_cast<std::int64_t>(audio.size()) / 4;
    const std::int64_t end = samples - (5880 + samples % 5880);
    const std::int64_t track = std::int64_t{kTrackSectors} * 588;
    const auto crcOf = [&](std::int64_t from, std::int64_t to) {
      return hex(static_cast<std::uint32_t>(
          ::crc32_z(0, audio.data() + from * 4, static_cast<std::size_t>(to - from) * 4)));
    };
    ctdb::RipSyndromes syndromes(samples);
    syndromes.add(0, audio);
    std::string file;
    std::string column0;
    for (std::size_t i = 0; i < 16; ++i) {
      for (std::size_t column = 0; column < ctdb::RipSyndromes::kColumns; ++column) {
        const char word[] = {static_cast<char>(syndromes.syndrome(i, column) & 0xFF),
                             static_cast<char>(syndromes.syndrome(i, column) >> 8)};
        file.append(word, 2);
        if (column == 0) {
          column0.append(word, 2);
        }
      }
    }
    std::string syndrome(64, '\0');
    syndrome.resize(static_cast<std::size_t>(::EVP_EncodeBlock(
        reinterpret_cast<unsigned char*>(syndrome.data()),
        reinterpret_cast<const unsigned char*>(column0.data()), static_cast<int>(column0.size()))));
    std::string toc;
    std::string trackCRCs;
    for (int index = 0; index < kTracks; ++index) {
      toc += std::to_string(index * kTrackSectors) + ":";
      trackCRCs +=
          (index == 0 ? "" : " ") + crcOf(index == 0 ? 5880 : index * track,
                                          index + 1 == kTracks ? end : (index + 1) * track);
    }
    toc += std::to_string(kTracks * kTrackSectors);
    server_.respond("GET", "/lookup2.php", 200,
                    R"(<ctdb><entry confidence="5" crc32=")" + crcOf(5880, end) +
                        R"(" hasparity="/parity/1" id="1" npar="16" stride="5880" syndrome=")" +
                        syndrome + R"(" toc=")" + toc + R"(" trackcrcs=")" + trackCRCs +
                        R"("/></ctdb>)",
                    "text/xml");
    server_.respond("GET", "/parity/1", 200, file, "application/octet-stream");
  }

  testing::ManualMainQueue mainQueue_;
  platform::tasks::ApplicationRuntime runtime_{mainQueue_};
  testing::TemporaryFolder folder_;
  testing::TestHttpServer server_;
  testing::WrittenDiscImage image_;
  std::vector<disc::CDTrackInfo> tracks_;
};

}  // namespace

int main() {
  Bench bench;
  const auto clean = bench.import(false);
  const auto damaged = bench.import(true);
  std::printf("clean disc:   import %.1f s, peak memory growth %.1f MiB\n", clean.seconds,
              clean.peakGrowthMiB);
  std::printf("damaged disc: import %.1f s, peak memory growth %.1f MiB, %s\n", damaged.seconds,
              damaged.peakGrowthMiB, damaged.repaired ? "repaired" : "NOT REPAIRED");
  const double extraSeconds = damaged.seconds - clean.seconds;
  const double extraMiB = damaged.peakGrowthMiB - clean.peakGrowthMiB;
  std::printf("%-50s %.1f s of %.0f s  %s\n", "the repair's time (damaged - clean import)",
              extraSeconds, kTimeTarget,
              damaged.repaired && extraSeconds <= kTimeTarget ? "MET" : "MISSED");
  std::printf("%-50s %.1f MiB of %.0f MiB  %s\n", "the repair's memory (damaged - clean peak)",
              extraMiB, kMemoryTarget,
              damaged.repaired && extraMiB <= kMemoryTarget ? "MET" : "MISSED");
  return damaged.repaired ? 0 : 1;
}
