// Encoding speed of EncodeTrackToAAC against the ffmpeg command line doing the same job (same
// PCM, same `aac` encoder, same 256 kbit/s), and the peak memory of encoding a 10-minute track.
//
//   bench_encode_track_to_aac [--benchmark_... options]
//
// The two sides alternate, one encode each per round, so that a change in the machine's load
// weighs on both alike; their CPU times are compared too, which that load hardly moves.
//
// Targets: throughput at least 0.95 of the command line's; peak resident memory no more than
// the PCM block plus 64 MiB.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "rip/encode_track_to_aac.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFramesPerSecond = 44100;
constexpr std::size_t kBytesPerFrame = 4;
constexpr std::size_t kThroughputSeconds = 180;  // a typical track
constexpr std::size_t kMemorySeconds = 600;
constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kRounds = 3;

// Something closer to music than a pure tone: a chord with overtones, a slow tremolo and a
// little noise, different in each channel, so the encoder works as hard as on a real track.
std::vector<std::uint8_t> synthesizeTrack(std::size_t seconds) {
  const std::size_t frames = seconds * kFramesPerSecond;
  std::vector<std::uint8_t> pcm(frames * kBytesPerFrame);
  std::uint32_t noise = 12345;
  const double notes[] = {220.0, 277.18, 329.63, 440.0};
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kFramesPerSecond;
    double left = 0, right = 0;
    for (std::size_t n = 0; n < std::size(notes); ++n) {
      for (int harmonic = 1; harmonic <= 4; ++harmonic) {
        const double tone = std::sin(2 * std::numbers::pi * notes[n] * harmonic * t) / harmonic;
        left += tone * (n % 2 == 0 ? 1.0 : 0.6);
        right += tone * (n % 2 == 0 ? 0.6 : 1.0);
      }
    }
    const double tremolo = 0.75 + 0.25 * std::sin(2 * std::numbers::pi * 0.5 * t);
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<double>(noise >> 16) / 65535.0 - 0.5) * 0.05;
    const auto sample = [&](double value) {
      const double scaled = std::clamp((value * tremolo / 8.0 + hiss) * 32767.0, -32768.0, 32767.0);
      return static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
    };
    const std::uint16_t l = sample(left), r = sample(right);
    std::uint8_t* frame = &pcm[i * kBytesPerFrame];
    frame[0] = static_cast<std::uint8_t>(l & 0xFF);
    frame[1] = static_cast<std::uint8_t>(l >> 8);
    frame[2] = static_cast<std::uint8_t>(r & 0xFF);
    frame[3] = static_cast<std::uint8_t>(r >> 8);
  }
  return pcm;
}

// A private folder for the files the benchmarks write, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "noru-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a scratch folder");
    }
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

ScratchFolder& scratch() {
  static ScratchFolder folder;
  return folder;
}

const std::vector<std::uint8_t>& throughputTrack() {
  static const auto pcm = synthesizeTrack(kThroughputSeconds);
  return pcm;
}

void BM_EncodeTrackToAAC(benchmark::State& state) {
  const auto& pcm = throughputTrack();
  const auto output = scratch().path() / "01 Ours.m4a";
  const noru::rip::EncodeTrackToAAC encode;
  const double before = noru::bench::cpuSeconds(RUSAGE_SELF);
  for (auto _ : state) {
    encode(pcm, output, 1);
  }
  state.counters["cpu_s"] = benchmark::Counter(noru::bench::cpuSeconds(RUSAGE_SELF) - before,
                                               benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pcm.size()));
}

void BM_FFmpegCommandLine(benchmark::State& state) {
  const auto& pcm = throughputTrack();
  const auto input = scratch().path() / "track.pcm";
  const auto output = scratch().path() / "01 Theirs.m4a";
  {
    std::ofstream file(input, std::ios::binary);
    file.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
  }
  const std::vector<std::string> command = {
      "ffmpeg", "-nostdin", "-v", "error",        "-y",   "-f",  "s16le", "-ar",  "44100",
      "-ac",    "2",        "-i", input.string(), "-c:a", "aac", "-b:a",  "256k", output.string()};
  const double before = noru::bench::cpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) {
    if (noru::bench::runProcess(command) != 0) {
      state.SkipWithError("ffmpeg failed");
      break;
    }
  }
  state.counters["cpu_s"] = benchmark::Counter(noru::bench::cpuSeconds(RUSAGE_CHILDREN) - before,
                                               benchmark::Counter::kAvgIterations);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pcm.size()));
}

double peakResidentMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;  // ru_maxrss is in KiB
}

// Runs first, in a process that has not yet grown, so the high-water mark is this encode's.
void measurePeakMemory() {
  const double baseline = peakResidentMiB();
  const auto pcm = synthesizeTrack(kMemorySeconds);
  const double withBlock = peakResidentMiB();
  noru::rip::EncodeTrackToAAC{}(pcm, scratch().path() / "01 Ten Minutes.m4a", 1);
  const double peak = peakResidentMiB();

  const double block = static_cast<double>(pcm.size()) / kMiB;
  const double growth = peak - baseline;
  std::printf(
      "Peak memory, 10-minute track: PCM block %.1f MiB; peak resident %.1f MiB "
      "(%.1f MiB at start, %.1f MiB with the block); growth %.1f MiB = block + %.1f MiB "
      "(target: block + at most 64 MiB) %s\n\n",
      block, peak, baseline, withBlock, growth, growth - block,
      growth - block <= 64.0 ? "MET" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  measurePeakMemory();

  noru::bench::registerAlternatingRounds({{"BM_EncodeTrackToAAC", BM_EncodeTrackToAAC},
                                          {"BM_FFmpegCommandLine", BM_FFmpegCommandLine}},
                                         kRounds);
  noru::bench::RoundsReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto* ours = reporter.find("BM_EncodeTrackToAAC");
  const auto* theirs = reporter.find("BM_FFmpegCommandLine");
  if (ours && theirs) {
    const double ratio = noru::bench::median(theirs->wallMs) / noru::bench::median(ours->wallMs);
    std::printf(
        "\nThroughput of EncodeTrackToAAC relative to the ffmpeg command line (median of %zu "
        "rounds): %.3f (target: at least 0.95) %s\n",
        ours->wallMs.size(), ratio, ratio >= 0.95 ? "MET" : "MISSED");
    std::printf("The same in CPU time: %.3f\n",
                noru::bench::median(theirs->cpuMs) / noru::bench::median(ours->cpuMs));
  }
  return 0;
}
