#include "rip/ffmpeg_aac_file_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace noru::rip {
namespace {

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;
constexpr std::size_t kBytesPerPCMFrame = 4;
// On half an hour of orchestral recordings, level 8 took 2 % off the size of FFmpeg's default
// level 5 for twice the encoding time, which is still some 200 times as fast as the music plays:
// nothing a drive's reading waits for. Level 12 took another 2 % for six times the time again.
constexpr int kFLACCompressionLevel = 8;

struct FormatContextDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr) {
      avio_closep(&context->pb);
    }
    avformat_free_context(context);
  }
};
struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct ResamplerDeleter {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoDeleter {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

using FormatContext = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Resampler = std::unique_ptr<SwrContext, ResamplerDeleter>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

AVChannelLayout stereoLayout() {
  AVChannelLayout layout{};
  av_channel_layout_default(&layout, kChannels);
  return layout;
}

class FFmpegAACFile final : public AACFileWriter::OpenFile {
 public:
  FFmpegAACFile(FormatContext format, AVStream* stream, CodecContext encoder)
      : format_(std::move(format)), stream_(stream), encoder_(std::move(encoder)) {}

  int setClientFormat() override {
    AVChannelLayout layout = stereoLayout();
    SwrContext* resampler = nullptr;
    int status = swr_alloc_set_opts2(&resampler, &layout, encoder_->sample_fmt, kSampleRate,
                                     &layout, AV_SAMPLE_FMT_S16, kSampleRate, 0, nullptr);
    resampler_.reset(resampler);
    if (status < 0) {
      return status;
    }
    if ((status = swr_init(resampler_.get())) < 0) {
      return status;
    }
    fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, kChannels, 2 * kFrameSamplesHint));
    return fifo_ ? 0 : AVERROR(ENOMEM);
  }

  int setBitRate(std::int64_t bitsPerSecond) override {
    return av_opt_set_int(encoder_.get(), "b", bitsPerSecond, 0);
  }

  int write(std::span<const std::uint8_t> pcm) override {
    if (!resampler_) {
      return AVERROR(EINVAL);
    }
    if (int status = startIfNeeded(); status < 0) {
      return status;
    }
    const int frames = static_cast<int>(pcm.size() / kBytesPerPCMFrame);
    if (frames == 0) {
      return 0;
    }
    if (int status = convertIntoFifo(pcm.data(), frames); status < 0) {
      return status;
    }
    return encodeWhileFifoHolds(encoder_->frame_size);
  }

  int finish() override {
    if (!resampler_) {
      return AVERROR(EINVAL);
    }
    if (int status = startIfNeeded(); status < 0) {
      return status;
    }
    // The encoder accepts one shorter frame at the end, so the last samples are not padded
    // into an extra frame of silence.
    if (int status = encodeWhileFifoHolds(1); status < 0) {
      return status;
    }
    if (int status = avcodec_send_frame(encoder_.get(), nullptr); status < 0) {
      return status;
    }
    if (int status = drainPackets(); status < 0) {
      return status;
    }
    if (int status = av_write_trailer(format_.get()); status < 0) {
      return status;
    }
    return avio_closep(&format_->pb);
  }

  GaplessTiming timing() const override {
    if (!started_) {
      return {};
    }
    if (encoder_->codec_id != AV_CODEC_ID_AAC) {
      return {.sampleCount = samplesSent_};  // lossless: every frame holds the track's samples
    }
    const std::int64_t priming = encoder_->initial_padding;
    const std::int64_t frames = packetsWritten_ * encoder_->frame_size;
    return {.priming = priming,
            .padding = std::max<std::int64_t>(frames - priming - samplesSent_, 0),
            .sampleCount = samplesSent_};
  }

 private:
  static constexpr int kFrameSamplesHint = 1024;

  int startIfNeeded() {
    if (started_) {
      return 0;
    }
    // The encoder opens here rather than at creation because the bit rate must be set first.
    if (int status = avcodec_open2(encoder_.get(), encoder_->codec, nullptr); status < 0) {
      return status;
    }
    if (int status = avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
        status < 0) {
      return status;
    }
    stream_->time_base = AVRational{1, kSampleRate};
    // With the movie counted in samples, the edit list that hides the encoder's priming and
    // the last frame's padding states the track's length to the sample; in the default
    // milliseconds it would be up to 43 samples short.
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "movie_timescale", kSampleRate, 0);
    const int written = avformat_write_header(format_.get(), &options);
    av_dict_free(&options);
    if (written < 0) {
      return written;
    }
    frame_.reset(av_frame_alloc());
    packet_.reset(av_packet_alloc());
    if (!frame_ || !packet_) {
      return AVERROR(ENOMEM);
    }
    frame_->format = encoder_->sample_fmt;
    frame_->sample_rate = kSampleRate;
    frame_->nb_samples = encoder_->frame_size;
    if (int status = av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout); status < 0) {
      return status;
    }
    if (int status = av_frame_get_buffer(frame_.get(), 0); status < 0) {
      return status;
    }
    started_ = true;
    return 0;
  }

  int convertIntoFifo(const std::uint8_t* interleaved, int frames) {
    const auto samples = static_cast<std::size_t>(frames);
    for (auto& plane : planes_) {
      if (plane.size() < samples) {
        plane.resize(samples);
      }
    }
    std::uint8_t* output[kChannels] = {reinterpret_cast<std::uint8_t*>(planes_[0].data()),
                                       reinterpret_cast<std::uint8_t*>(planes_[1].data())};
    const std::uint8_t* input[1] = {interleaved};
    const int converted = swr_convert(resampler_.get(), output, frames, input, frames);
    if (converted < 0) {
      return converted;
    }
    void* data[kChannels] = {output[0], output[1]};
    const int written = av_audio_fifo_write(fifo_.get(), data, converted);
    return written < 0 ? written : 0;
  }

  // Sends frames of the encoder's size while the FIFO holds at least `minimum` samples; the
  // last frame may be shorter when `minimum` is below the frame size.
  int encodeWhileFifoHolds(int minimum) {
    while (av_audio_fifo_size(fifo_.get()) >= std::max(minimum, 1)) {
      const int samples = std::min(av_audio_fifo_size(fifo_.get()), encoder_->frame_size);
      frame_->nb_samples = encoder_->frame_size;
      if (int status = av_frame_make_writable(frame_.get()); status < 0) {
        return status;
      }
      frame_->nb_samples = samples;
      const int read =
          av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), samples);
      if (read < 0) {
        return read;
      }
      frame_->pts = samplesSent_;
      samplesSent_ += samples;
      if (int status = avcodec_send_frame(encoder_.get(), frame_.get()); status < 0) {
        return status;
      }
      if (int status = drainPackets(); status < 0) {
        return status;
      }
    }
    return 0;
  }

  int drainPackets() {
    for (;;) {
      const int status = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) {
        return 0;
      }
      if (status < 0) {
        return status;
      }
      av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      ++packetsWritten_;
      // Takes the packet's data and leaves the packet blank for the next one.
      if (int written = av_interleaved_write_frame(format_.get(), packet_.get()); written < 0) {
        return written;
      }
    }
  }

  // Declared first so that it is destroyed last, after everything that refers to its stream.
  FormatContext format_;
  AVStream* stream_;  // owned by format_
  CodecContext encoder_;
  Resampler resampler_;
  Fifo fifo_;
  Frame frame_;
  Packet packet_;
  // Four bytes a sample in each: room for planar float, planar 16-bit and packed 16-bit stereo.
  std::vector<float> planes_[kChannels];
  std::int64_t samplesSent_ = 0;
  std::int64_t packetsWritten_ = 0;
  bool started_ = false;
};

// A 16-bit format when the encoder takes one (the lossless encoders would otherwise store the
// CD's samples as wider ones), else the encoder's first.
AVSampleFormat sampleFormatOf(const AVCodec& codec) {
  if (codec.sample_fmts == nullptr) {
    return AV_SAMPLE_FMT_FLTP;
  }
  for (const AVSampleFormat* format = codec.sample_fmts; *format != AV_SAMPLE_FMT_NONE; ++format) {
    if (*format == AV_SAMPLE_FMT_S16 || *format == AV_SAMPLE_FMT_S16P) {
      return *format;
    }
  }
  return codec.sample_fmts[0];
}

}  // namespace

AACFileWriter::Created FFmpegAACFileWriter::create(const std::filesystem::path& file,
                                                   disc::AudioFormat audioFormat) const {
  // FFmpeg prints its own notes to standard error; this program reports through its
  // diagnostic log only.
  static std::once_flag silenced;
  std::call_once(silenced, [] { av_log_set_level(AV_LOG_QUIET); });

  // FFmpeg's encoders bear the formats' own names: "aac", "alac", "flac".
  const AVCodec* codec = avcodec_find_encoder_by_name(std::string(nameOf(audioFormat)).c_str());
  if (codec == nullptr) {
    return {AVERROR_ENCODER_NOT_FOUND, nullptr};
  }

  AVFormatContext* rawFormat = nullptr;
  int status = avformat_alloc_output_context2(
      &rawFormat, nullptr, audioFormat == disc::AudioFormat::flac ? "flac" : "ipod", file.c_str());
  FormatContext format(rawFormat);
  if (status < 0) {
    return {status, nullptr};
  }
  AVStream* stream = avformat_new_stream(format.get(), nullptr);
  CodecContext encoder(avcodec_alloc_context3(codec));
  if (stream == nullptr || !encoder) {
    return {AVERROR(ENOMEM), nullptr};
  }

  encoder->sample_rate = kSampleRate;
  encoder->sample_fmt = sampleFormatOf(*codec);
  if (audioFormat == disc::AudioFormat::aac) {
    encoder->profile = FF_PROFILE_AAC_LOW;
  }
  if (audioFormat == disc::AudioFormat::flac) {
    encoder->compression_level = kFLACCompressionLevel;
  }
  encoder->time_base = AVRational{1, kSampleRate};
  const AVChannelLayout layout = stereoLayout();
  if ((status = av_channel_layout_copy(&encoder->ch_layout, &layout)) < 0) {
    return {status, nullptr};
  }
  if ((format->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }

  // Opened last, so that nothing before it can fail with an existing file already emptied.
  // The "file:" prefix keeps a colon in the path from being read as a protocol name.
  const std::string url = "file:" + file.string();
  if ((status = avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE)) < 0) {
    return {status, nullptr};
  }
  return {0, std::make_unique<FFmpegAACFile>(std::move(format), stream, std::move(encoder))};
}

}  // namespace noru::rip
