#include "support/media_files.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>

namespace noru::testing {

std::vector<std::uint8_t> syntheticCDAudio(std::size_t frames) {
  std::vector<std::uint8_t> pcm(frames * 4);
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / 44100.0;
    const auto left = static_cast<std::uint16_t>(
        static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * 440 * t)));
    const auto right = static_cast<std::uint16_t>(
        static_cast<std::int16_t>(9000 * std::sin(2 * std::numbers::pi * 660 * t)));
    pcm[4 * i] = static_cast<std::uint8_t>(left);
    pcm[4 * i + 1] = static_cast<std::uint8_t>(left >> 8);
    pcm[4 * i + 2] = static_cast<std::uint8_t>(right);
    pcm[4 * i + 3] = static_cast<std::uint8_t>(right >> 8);
  }
  return pcm;
}

namespace {

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using Input = std::unique_ptr<AVFormatContext, InputCloser>;

struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// The opened file and the index of its audio stream.
std::pair<Input, int> openAudio(const std::filesystem::path& file) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
    throw std::runtime_error("cannot open " + file.string());
  }
  Input input(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) {
    throw std::runtime_error("no stream information in " + file.string());
  }
  const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) {
    throw std::runtime_error("no audio stream in " + file.string());
  }
  return {std::move(input), index};
}

}  // namespace

AudioStreamFacts probeAudioFile(const std::filesystem::path& file) {
  const auto [input, index] = openAudio(file);
  const AVStream* stream = input->streams[index];
  const AVCodecParameters* parameters = stream->codecpar;
  AudioStreamFacts facts;
  facts.codec = avcodec_get_name(parameters->codec_id);
  facts.profile = parameters->profile;
  facts.sampleRate = parameters->sample_rate;
  facts.channels = parameters->ch_layout.nb_channels;
  facts.bitRate = parameters->bit_rate;
  facts.durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
  return facts;
}

std::vector<std::uint8_t> audioPackets(const std::filesystem::path& file) {
  const auto [input, index] = openAudio(file);
  std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
  std::vector<std::uint8_t> bytes;
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) {
      bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
    }
    av_packet_unref(packet.get());
  }
  return bytes;
}

M4AItems readM4AItems(const std::filesystem::path& file) {
  TagLib::MP4::File mp4(file.c_str());
  if (!mp4.isValid() || mp4.tag() == nullptr) {
    throw std::runtime_error("not an MP4 file: " + file.string());
  }
  M4AItems items;
  const auto text = [](const TagLib::MP4::Item& item) {
    return item.toStringList().toString().to8Bit(true);
  };
  for (const auto& [key, item] : mp4.tag()->itemMap()) {
    items.keys.push_back(key.to8Bit(true));
    if (key == "\251nam") {
      items.title = text(item);
    } else if (key == "\251ART") {
      items.artist = text(item);
    } else if (key == "\251alb") {
      items.album = text(item);
    } else if (key == "trkn") {
      const auto pair = item.toIntPair();
      items.trackNumber = std::pair{pair.first, pair.second};
    } else if (key == "covr") {
      for (const auto& cover : item.toCoverArtList()) {
        const auto data = cover.data();
        if (cover.format() == TagLib::MP4::CoverArt::JPEG) {
          items.jpegCovers.emplace_back(data.begin(), data.end());
        }
      }
    }
  }
  return items;
}

}  // namespace noru::testing
