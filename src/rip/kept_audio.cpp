#include "rip/kept_audio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

std::system_error lastError(const char* what) {
  return {errno, std::generic_category(), what};
}

// Writes all of `bytes` to `descriptor`; false on a failure.
bool writeAll(int descriptor, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const auto written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

MappedAudio::MappedAudio(const std::filesystem::path& file) {
  const int descriptor = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (descriptor < 0) {
    throw lastError("cannot open the kept audio");
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    const auto error = lastError("cannot size the kept audio");
    ::close(descriptor);
    throw error;
  }
  size_ = static_cast<std::size_t>(status.st_size);
  if (size_ > 0) {
    void* mapped = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    if (mapped == MAP_FAILED) {
      const auto error = lastError("cannot map the kept audio");
      ::close(descriptor);
      throw error;
    }
    data_ = static_cast<std::uint8_t*>(mapped);
  }
  ::close(descriptor);
}

MappedAudio::~MappedAudio() {
  if (data_) {
    ::munmap(data_, size_);
  }
}

bool KeptAudio::keep(std::size_t index, std::int64_t number, std::span<const std::uint8_t> pcm) {
  kept_.erase(index);
  auto file = TemporaryFile::hiddenBeside(folder_ / ("Track " + std::to_string(number)), "audio");
  const int descriptor = ::open(file.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    platform::log::diagnostic("KeptAudio: cannot keep track ", number, " \u2014 ",
                              std::strerror(errno));
    return false;
  }
  const bool written = writeAll(descriptor, pcm);
  const int error = errno;
  ::close(descriptor);
  if (!written) {
    platform::log::diagnostic("KeptAudio: cannot keep track ", number, " \u2014 ",
                              std::strerror(error));
    return false;  // the file goes with `file`
  }
  kept_.emplace(index, std::move(file));
  return true;
}

std::vector<std::size_t> KeptAudio::held() const {
  std::vector<std::size_t> indexes;
  for (const auto& [index, file] : kept_) {
    indexes.push_back(index);
  }
  return indexes;
}

}  // namespace noru::rip
