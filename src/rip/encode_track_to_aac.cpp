#include "rip/encode_track_to_aac.h"

#include <algorithm>
#include <utility>

#include "disc/cd_rip_error.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/cancellation_error.h"
#include "rip/temporary_file.h"

namespace noru::rip {
namespace {

using platform::log::diagnostic;

// Holds the open file of an encode that has not succeeded yet. Unless the encode is marked
// complete, it closes the file and then deletes it: a half-written M4A has no index and would
// sit in the library as a track that does not play.
class UnfinishedFile {
 public:
  UnfinishedFile(std::unique_ptr<AACFileWriter::OpenFile> file, std::filesystem::path path)
      : removal_(std::move(path)), file_(std::move(file)) {}

  AACFileWriter::OpenFile* operator->() const { return file_.get(); }
  void markComplete() { removal_.release(); }

 private:
  TemporaryFile removal_;  // declared first: the file is closed before it is removed
  std::unique_ptr<AACFileWriter::OpenFile> file_;
};

}  // namespace

GaplessTiming EncodeTrackToAAC::operator()(std::span<const std::uint8_t> pcm,
                                           const std::filesystem::path& file,
                                           std::int64_t trackNumber, std::stop_token stop,
                                           disc::AudioFormat format) const {
  const auto name = file.filename();
  diagnostic("EncodeTrackToAAC: encoding track ", trackNumber, " → ", name, " (", pcm.size(),
             " PCM bytes)");

  auto created = writer->create(file, format);
  if (created.status != 0 || !created.file) {
    diagnostic("EncodeTrackToAAC: ExtAudioFileCreateWithURL failed status=", created.status);
    throw disc::CDRipError::encodingFailed();
  }
  UnfinishedFile output(std::move(created.file), file);

  if (int status = output->setClientFormat(); status != 0) {
    diagnostic("EncodeTrackToAAC: ExtAudioFileSetProperty(ClientDataFormat) failed status=",
               status);
    throw disc::CDRipError::encodingFailed();
  }

  // A refused rate is not worth losing the track over: the encoder keeps its default rate.
  if (format == disc::AudioFormat::aac) {
    static_cast<void>(output->setBitRate(bitRate));
  }

  for (std::size_t offset = 0; offset < pcm.size();) {
    // A long track takes many seconds to encode; a stop must not wait for all of them.
    platform::tasks::throwIfCancelled(stop);
    const auto chunk = pcm.subspan(offset, std::min(pcm.size() - offset, writeChunkBytes));
    if (int status = output->write(chunk); status != 0) {
      diagnostic("EncodeTrackToAAC: ExtAudioFileWrite failed status=", status, " at offset ",
                 offset);
      throw disc::CDRipError::encodingFailed();
    }
    offset += chunk.size();
  }

  diagnostic("EncodeTrackToAAC: track ", trackNumber, " complete → ", name);
  // Finishing writes the last frames and the file's index; without them the file is useless.
  if (int status = output->finish(); status != 0) {
    diagnostic("EncodeTrackToAAC: ExtAudioFileDispose failed status=", status);
    throw disc::CDRipError::encodingFailed();
  }
  output.markComplete();
  return output->timing();
}

}  // namespace noru::rip
