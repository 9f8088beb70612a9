#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "rip/ffmpeg_aac_file_writer.h"

namespace noru::testing {

// The real FFmpeg writer, failing one step on request, with a record of the chunks it was
// handed, a call before and after each of them, how many files were open for encoding at once,
// and as much of each file's audio encoded as a test wants. Several files may be encoded at once,
// each on its own thread: the hooks are called on those threads, and must be safe to call so.
class HookedAACWriter final : public rip::AACFileWriter {
 public:
  enum class Step { none, clientFormat, bitRate, thirdWrite, finish };

  explicit HookedAACWriter(Step failing = Step::none, int status = 0)
      : failing(failing), status(status) {}

  Created create(const std::filesystem::path& file, disc::AudioFormat format) const override {
    auto created = real_.create(file, format);
    if (created.file) {
      created.file = std::make_unique<File>(std::move(created.file), file, *this);
    }
    return created;
  }

  std::size_t mostOpenAtOnce() const {
    std::lock_guard lock(mutex_);
    return mostOpen_;
  }

  const Step failing;
  const int status;
  // Of every file, in order; read it once the encodes have ended.
  mutable std::vector<std::span<const std::uint8_t>> chunks;
  // Called before each chunk with its file and the chunk.
  std::function<void(const std::filesystem::path&, std::span<const std::uint8_t>)> beforeWrite;
  // Called after each chunk with its file and the number of chunks written so far.
  std::function<void(const std::filesystem::path&, std::size_t)> afterWrite;
  // How many bytes of each file the encoder gets; the rest is taken and dropped, for a test
  // that needs real files but not all of their audio.
  std::size_t bytesEncoded = std::numeric_limits<std::size_t>::max();

 private:
  struct File final : OpenFile {
    File(std::unique_ptr<OpenFile> real, std::filesystem::path path, const HookedAACWriter& writer)
        : real(std::move(real)), path(std::move(path)), writer(writer) {
      std::lock_guard lock(writer.mutex_);
      writer.mostOpen_ = std::max(writer.mostOpen_, ++writer.open_);
    }
    ~File() override {
      std::lock_guard lock(writer.mutex_);
      --writer.open_;
    }
    int result(Step step, const std::function<int()>& realStep) const {
      return step != Step::none && step == writer.failing ? writer.status : realStep();
    }
    int setClientFormat() override {
      return result(Step::clientFormat, [&] { return real->setClientFormat(); });
    }
    int setBitRate(std::int64_t rate) override {
      return result(Step::bitRate, [&] { return real->setBitRate(rate); });
    }
    int write(std::span<const std::uint8_t> pcm) override {
      std::size_t written = 0;
      {
        std::lock_guard lock(writer.mutex_);
        writer.chunks.push_back(pcm);
        written = writer.chunks.size();
      }
      if (writer.beforeWrite) {
        writer.beforeWrite(path, pcm);
      }
      const auto encoded = pcm.first(std::min(pcm.size(), writer.bytesEncoded - given));
      given += encoded.size();
      const bool third = written == 3;
      const int status = result(third ? Step::thirdWrite : Step::none,
                                [&] { return encoded.empty() ? 0 : real->write(encoded); });
      if (writer.afterWrite) {
        writer.afterWrite(path, written);
      }
      return status;
    }
    int finish() override {
      return result(Step::finish, [&] { return real->finish(); });
    }
    rip::GaplessTiming timing() const override { return real->timing(); }

    std::unique_ptr<OpenFile> real;
    std::filesystem::path path;
    const HookedAACWriter& writer;
    std::size_t given = 0;
  };

  rip::FFmpegAACFileWriter real_;
  mutable std::mutex mutex_;
  mutable std::size_t open_ = 0;
  mutable std::size_t mostOpen_ = 0;
};

}  // namespace noru::testing
