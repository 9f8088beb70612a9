#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <vector>

#include "rip/temporary_file.h"

namespace noru::rip {

// A kept file's audio, mapped into memory: what is changed in it is changed in the file.
class MappedAudio {
 public:
  // Raises std::system_error.
  explicit MappedAudio(const std::filesystem::path& file);
  MappedAudio(const MappedAudio&) = delete;
  MappedAudio& operator=(const MappedAudio&) = delete;
  ~MappedAudio();

  std::span<std::uint8_t> bytes() const { return {data_, size_}; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// The audio of an import's tracks that no database has confirmed yet, each in a hidden file of
// the album folder while the disc may still be repaired from it. A track's file goes when the
// track is dropped or kept again, and every file when this is destroyed, however the import
// ends. For one thread.
class KeptAudio {
 public:
  explicit KeptAudio(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Keeps `pcm` as the audio of the track at `index` (number `number`), in place of what was
  // kept of it. False when it cannot be written: then nothing is kept of the track.
  bool keep(std::size_t index, std::int64_t number, std::span<const std::uint8_t> pcm);
  void drop(std::size_t index) { kept_.erase(index); }
  void dropAll() { kept_.clear(); }

  bool holds(std::size_t index) const { return kept_.contains(index); }
  std::vector<std::size_t> held() const;
  // The file of the track at `index`, which it holds (see MappedAudio).
  const std::filesystem::path& fileOf(std::size_t index) const { return kept_.at(index).path(); }

 private:
  std::filesystem::path folder_;
  std::map<std::size_t, TemporaryFile> kept_;
};

}  // namespace noru::rip
