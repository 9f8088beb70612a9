#include "platform/log/diagnostic_log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace noru::platform::log {
namespace {

// Creates `folder` and any missing parent, each readable by the user alone (as XDG asks for
// its base folders). True when the folder exists afterwards.
bool makeFolder(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
  }
  struct stat status {};
  return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool writeAll(int descriptor, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(descriptor, text.data(), text.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// "2024-05-01 14:03:07.123 ", local time.
std::string timestamp(std::chrono::system_clock::time_point time) {
  const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(time - seconds);
  const std::time_t since = std::chrono::system_clock::to_time_t(seconds);
  std::tm local{};
  localtime_r(&since, &local);
  char buffer[48];
  const std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
  std::snprintf(buffer + n, sizeof buffer - n, ".%03d ", static_cast<int>(millis.count()));
  return buffer;
}

}  // namespace

std::filesystem::path defaultDiagnosticLogFolder() {
  std::filesystem::path stateHome;
  const char* xdg = std::getenv("XDG_STATE_HOME");
  if (xdg != nullptr && std::filesystem::path(xdg).is_absolute()) {
    stateHome = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    stateHome = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return stateHome / "noru-cd-ripper";
}

DiagnosticLogFile::DiagnosticLogFile(std::filesystem::path folder, Echo echo,
                                     std::uintmax_t rotateAtBytes)
    : folder_(std::move(folder)), rotateAtBytes_(std::max<std::uintmax_t>(rotateAtBytes, 64)) {
  if (echo == Echo::ToTerminal && ::isatty(STDERR_FILENO) == 1) {
    terminal_ = STDERR_FILENO;
  }
  try {
    running_ = true;
    writer_ = std::thread([this] { run(); });
  } catch (...) {
    // Without a writer thread the lines are discarded, as with no sink at all.
    running_ = false;
  }
}

DiagnosticLogFile::~DiagnosticLogFile() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (writer_.joinable()) {
    writer_.join();
  }
}

void DiagnosticLogFile::write(std::string_view line) noexcept {
  const auto now = std::chrono::system_clock::now();
  try {
    std::lock_guard lock(mutex_);
    if (!running_ || stopping_) {
      return;
    }
    // Once a line has been dropped, every later one is too until the writer has taken the
    // queue, so that the line counting them stands exactly where they were lost.
    const std::size_t cost = line.size() + sizeof(Entry);
    if (dropped_ > 0 || queuedBytes_ + cost > kQueueLimitBytes) {
      if (dropped_++ == 0) {
        firstDropped_ = now;
      }
    } else {
      queue_.push_back(Entry{now, std::string(line)});
      queuedBytes_ += cost;
    }
  } catch (...) {
    // Out of memory: this line is lost, the caller carries on.
    return;
  }
  wake_.notify_one();
}

void DiagnosticLogFile::run() noexcept {
  openFile();
  std::vector<Entry> batch;
  bool last = false;
  while (!last) {
    Dropped dropped;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || dropped_ > 0; });
      batch.swap(queue_);
      queuedBytes_ = 0;
      dropped = {std::exchange(dropped_, 0), firstDropped_};
      // write() refuses lines once stopping_ is set, so this batch is the last one.
      last = stopping_;
    }
    try {
      writeBatch(batch, dropped);
    } catch (...) {
      // Out of memory while formatting: these lines are lost, the log goes on.
      pending_.clear();
    }
    batch.clear();
  }
  closeFile();
}

void DiagnosticLogFile::writeBatch(const std::vector<Entry>& batch, const Dropped& dropped) {
  if (file_ >= 0) {
    // The file may have been removed (then writing to it would only fill a hidden inode), or
    // another copy of the program may have appended to it.
    struct stat status {};
    if (::fstat(file_, &status) != 0 || status.st_nlink == 0) {
      closeFile();
    } else {
      fileSize_ = static_cast<std::uintmax_t>(status.st_size);
    }
  }
  for (const Entry& entry : batch) {
    // The watcher lists the drives every few seconds: a line that repeats one of the last few
    // written is counted, not written, so that such rounds do not push everything else out.
    if (std::ranges::find(recent_, entry.line) != recent_.end()) {
      ++repeated_;
      continue;
    }
    if (repeated_ > 0) {
      addLine(timestamp(entry.time) + "DiagnosticLogFile: " + std::to_string(repeated_) +
              " more lines like the ones above\n");
      repeated_ = 0;
    }
    addLine(timestamp(entry.time) + entry.line + '\n');
    recent_.push_back(entry.line);
    if (recent_.size() > kRecentLines) {
      recent_.pop_front();
    }
  }
  if (dropped.count > 0) {
    addLine(timestamp(dropped.since) + "DiagnosticLogFile: " + std::to_string(dropped.count) +
            " lines dropped \u2014 the log writer fell behind\n");
  }
  flushFile();
}

void DiagnosticLogFile::addLine(std::string text) {
  echo(text);
  if (file_ < 0) {
    return;
  }
  // A line longer than a whole file is cut so that the file keeps to its limit.
  if (text.size() > rotateAtBytes_) {
    text.resize(rotateAtBytes_ - 1);
    text += '\n';
  }
  if (fileSize_ + pending_.size() + text.size() > rotateAtBytes_) {
    flushFile();
    rotateFile();
    if (file_ < 0) {
      return;
    }
  }
  pending_ += text;
}

void DiagnosticLogFile::flushFile() {
  if (file_ >= 0 && !pending_.empty()) {
    if (writeAll(file_, pending_)) {
      fileSize_ += pending_.size();
    } else {
      closeFile();  // disk full or the like: the file stops here
    }
  }
  pending_.clear();
}

void DiagnosticLogFile::openFile() {
  if (folder_.empty() || !makeFolder(folder_)) {
    return;
  }
  file_ = ::open((folder_ / kFileName).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  struct stat status {};
  if (file_ >= 0 && (::fstat(file_, &status) != 0 || !S_ISREG(status.st_mode))) {
    closeFile();
  }
  fileSize_ = file_ >= 0 ? static_cast<std::uintmax_t>(status.st_size) : 0;
}

void DiagnosticLogFile::rotateFile() {
  closeFile();
  const std::filesystem::path current = folder_ / kFileName;
  std::filesystem::path older = current;
  older += ".1";
  if (::rename(current.c_str(), older.c_str()) == 0) {
    openFile();
  }
}

void DiagnosticLogFile::closeFile() {
  if (file_ >= 0) {
    ::close(file_);
    file_ = -1;
  }
  fileSize_ = 0;
}

void DiagnosticLogFile::echo(std::string_view text) {
  if (terminal_ >= 0 && !writeAll(terminal_, text)) {
    terminal_ = -1;  // the terminal went away; the file goes on
  }
}

}  // namespace noru::platform::log
