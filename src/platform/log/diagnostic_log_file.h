#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/log/diagnostic_log.h"

namespace noru::platform::log {

// The folder the program keeps its log in: $XDG_STATE_HOME/noru-cd-ripper when that variable
// holds an absolute path, else $HOME/.local/state/noru-cd-ripper; empty when neither is set.
std::filesystem::path defaultDiagnosticLogFolder();

// A diagnostic sink that appends each line, behind a local timestamp with milliseconds, to
// `noru-cd-ripper.log` in a folder, and echoes it to standard error when that is a terminal.
//
// A line that repeats one of the last few written (the rounds of the disc watcher) is counted
// rather than written; the count is written before the next new line.
//
// The sink itself only queues the line; a thread of this object does all file and terminal
// I/O, so whoever reports a line (an import thread, the window) never waits on a disk. The
// queue is bounded: lines that arrive while it is full are dropped, and one line saying how many
// takes their place. When the file reaches its size limit it becomes `noru-cd-ripper.log.1`
// (replacing the older one) and a new file starts. A log that cannot be written (folder not
// creatable, disk full, file removed) quietly stops the file; nothing here ever throws.
// Destroying the object writes what is still queued and joins the thread.
class DiagnosticLogFile {
 public:
  static constexpr std::uintmax_t kRotateAtBytes = 1024 * 1024;
  // Bytes of queued text beyond which new lines are dropped until the writer catches up.
  static constexpr std::size_t kQueueLimitBytes = 256 * 1024;
  static constexpr const char* kFileName = "noru-cd-ripper.log";
  // A line that repeats one of this many last lines written is counted instead of written.
  static constexpr std::size_t kRecentLines = 8;

  // Standard error receives the lines too only when it is a terminal; tests ask for none.
  enum class Echo { ToTerminal, None };

  // An empty `folder` writes no file (the terminal may still receive the lines).
  explicit DiagnosticLogFile(std::filesystem::path folder, Echo echo = Echo::ToTerminal,
                             std::uintmax_t rotateAtBytes = kRotateAtBytes);
  ~DiagnosticLogFile();
  DiagnosticLogFile(const DiagnosticLogFile&) = delete;
  DiagnosticLogFile& operator=(const DiagnosticLogFile&) = delete;

  // Queues one line for the writer thread. Never blocks on I/O, never throws.
  void write(std::string_view line) noexcept;

  // A sink for ScopedSink that queues here; it must not outlive this object.
  Sink sink() {
    return [this](std::string_view line) { write(line); };
  }

 private:
  struct Entry {
    std::chrono::system_clock::time_point time;
    std::string line;
  };
  // Lines lost since the writer last took the queue, stamped with the moment the first was.
  struct Dropped {
    std::size_t count = 0;
    std::chrono::system_clock::time_point since;
  };

  void run() noexcept;
  void writeBatch(const std::vector<Entry>& batch, const Dropped& dropped);
  void addLine(std::string text);
  void flushFile();
  void openFile();
  void rotateFile();
  void closeFile();
  void echo(std::string_view text);

  // Set before the thread starts, then read by it only.
  const std::filesystem::path folder_;
  const std::uintmax_t rotateAtBytes_;
  int terminal_ = -1;

  // Shared between the callers of write() and the writer thread.
  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Entry> queue_;
  std::size_t queuedBytes_ = 0;
  std::size_t dropped_ = 0;
  std::chrono::system_clock::time_point firstDropped_;
  bool stopping_ = false;
  bool running_ = false;

  // The writer thread's own.
  std::deque<std::string> recent_;  // the last lines written, without their time
  std::size_t repeated_ = 0;        // lines left out since, for repeating one of them
  int file_ = -1;
  std::uintmax_t fileSize_ = 0;
  std::string pending_;

  std::thread writer_;
};

}  // namespace noru::platform::log
