#include "rip/kept_audio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

#include "platform/log/diagnostic_log.h"

namespace noru::rip {
namespace {

std::system_error lastError(const char* what) {
  return {errno, std::generic_category(), what};
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
  std::ofstream out(file.path(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(pcm.data()), static_cast<std::streamsize>(pcm.size()));
  out.close();
  if (!out) {
    platform::log::diagnostic("KeptAudio: cannot keep track ", number, " \u2014 ",
                              std::strerror(errno));
    return false;  // what was written goes with `file`
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
