// Pieces shared by the benchmarks that race our code against the ffmpeg command line.
#pragma once

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace noru::bench {

// Runs a program (looked up on PATH) to its end; its exit status, or -1.
inline int runProcess(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t child = 0;
  if (posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    return -1;
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// User and system CPU time, in seconds, of this process (all its threads: RUSAGE_SELF) or of
// its children that have been waited for (RUSAGE_CHILDREN).
inline double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A kilobyte figure of /proc/self/status ("VmRSS", "VmHWM"); -1 when it is not there.
inline std::int64_t statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) {
      return std::stoll(line.substr(prefix.size()));
    }
  }
  return -1;
}

inline double median(std::vector<double> values) {
  if (values.empty()) {
    return 0;
  }
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Registers `rounds` single-iteration runs of each benchmark, alternating between them, so that
// a change in the machine's load in the meantime weighs on every side alike. Each run is named
// "<name>/round:<n>".
struct Side {
  const char* name;
  void (*function)(benchmark::State&);
};
inline void registerAlternatingRounds(const std::vector<Side>& sides, int rounds) {
  for (int round = 1; round <= rounds; ++round) {
    for (const auto& side : sides) {
      const std::string name = std::string(side.name) + "/round:" + std::to_string(round);
      benchmark::RegisterBenchmark(name.c_str(), side.function)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(1);
    }
  }
}

// Prints the runs as usual and keeps, per benchmark (the name before the first '/'), the
// wall-clock time of each round and the "cpu_s" counter the benchmark sets, in milliseconds.
class RoundsReporter : public benchmark::ConsoleReporter {
 public:
  struct Rounds {
    std::vector<double> wallMs;
    std::vector<double> cpuMs;
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        const std::string name = run.benchmark_name();
        auto& side = sides[name.substr(0, name.find('/'))];
        side.wallMs.push_back(run.GetAdjustedRealTime());
        const auto cpu = run.counters.find("cpu_s");
        side.cpuMs.push_back(cpu == run.counters.end() ? 0.0 : cpu->second.value * 1000.0);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  const Rounds* find(const std::string& name) const {
    const auto found = sides.find(name);
    return found == sides.end() || found->second.wallMs.empty() ? nullptr : &found->second;
  }

  std::map<std::string, Rounds> sides;
};

}  // namespace noru::bench
