#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "rip/ffmpeg_aac_file_writer.h"

namespace noru::testing {

// The real FFmpeg writer, failing one step on request, with a record of the chunks it was
// handed, a call before and after each of them, and as much of each file's audio encoded as a
// test wants. Used by one thread at a time.
class HookedAACWriter final : public rip::AACFileWriter {
 public:
  enum class Step { none, clientFormat, bitRate, thirdWrite, finish };

  explicit HookedAACWriter(Step failing = Step::none, int status = 0)
      : failing(failing), status(status) {}

  Created create(const std::filesystem::path& file) const override {
    auto created = real_.create(file);
    if (created.file) {
      created.file = std::make_unique<File>(std::move(created.file), file, *this);
    }
    return created;
  }

  const Step failing;
  const int status;
  mutable std::vector<std::span<const std::uint8_t>> chunks;  // of every file, in order
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
        : real(std::move(real)), path(std::move(path)), writer(writer) {}
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
      writer.chunks.push_back(pcm);
      if (writer.beforeWrite) {
        writer.beforeWrite(path, pcm);
      }
      const auto encoded = pcm.first(std::min(pcm.size(), writer.bytesEncoded - given));
      given += encoded.size();
      const bool third = writer.chunks.size() == 3;
      const int status = result(third ? Step::thirdWrite : Step::none,
                                [&] { return encoded.empty() ? 0 : real->write(encoded); });
      if (writer.afterWrite) {
        writer.afterWrite(path, writer.chunks.size());
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
};

}  // namespace noru::testing
