#include "support/media_files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/mp4coverart.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/xiphcomment.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string_view>

#include "support/temporary_folder.h"

namespace noru::testing {

namespace {

// Owns an FFmpeg object that `free` (which takes its address) releases.
template <auto free>
struct Freeing {
  template <class T>
  void operator()(T* object) const {
    free(&object);
  }
};
template <class T, auto free>
using Owned = std::unique_ptr<T, Freeing<free>>;
using Input = Owned<AVFormatContext, avformat_close_input>;

// The opened file and the index of its audio stream; `ignoreEditList` keeps the priming and
// padding of an M4A file's audio.
std::pair<Input, int> openAudio(const std::filesystem::path& file, bool ignoreEditList = false) {
  AVFormatContext* raw = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "ignore_editlist", ignoreEditList ? "1" : "0", 0);
  const int opened = avformat_open_input(&raw, file.c_str(), nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {
    throw std::runtime_error("cannot open " + file.string());
  }
  Input input(raw);
  const int index = avformat_find_stream_info(raw, nullptr) < 0
                        ? -1
                        : av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) {
    throw std::runtime_error("no audio stream in " + file.string());
  }
  return {std::move(input), index};
}

std::int64_t bigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
  if (at + width > bytes.size()) {
    throw std::runtime_error("truncated box");
  }
  std::int64_t value = 0;
  for (std::size_t i = at; i < at + width; ++i) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[i]);
  }
  return value;
}

// Calls `visit` with the type and payload of every box in `boxes`, descending into the boxes
// that only hold other boxes. Takes only the 32-bit sizes that files this small have.
template <class Visit>
void walkBoxes(std::string_view boxes, const Visit& visit) {
  while (boxes.size() >= 8) {
    const auto size = static_cast<std::size_t>(bigEndian(boxes, 0, 4));
    const std::string type(boxes.substr(4, 4));
    if (size < 8 || size > boxes.size()) {
      throw std::runtime_error("malformed box " + type);
    }
    const auto payload = boxes.substr(8, size - 8);
    if (std::string_view("moov trak mdia edts minf stbl").find(type) != std::string_view::npos) {
      walkBoxes(payload, visit);
    } else {
      visit(type, payload);
    }
    boxes.remove_prefix(size);
  }
}

}  // namespace

std::vector<std::uint8_t> syntheticCDAudio(std::size_t frames) {
  std::vector<std::uint8_t> pcm;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / 44100.0;
    for (const double sample : {12000 * std::sin(2 * std::numbers::pi * 440 * t),
                                9000 * std::sin(2 * std::numbers::pi * 660 * t)}) {
      const auto bits = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample));
      pcm.insert(pcm.end(),
                 {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8)});
    }
  }
  return pcm;
}

AudioStreamFacts probeAudioFile(const std::filesystem::path& file) {
  const auto [input, index] = openAudio(file);
  const AVStream* stream = input->streams[index];
  const AVCodecParameters* codec = stream->codecpar;
  return {.codec = avcodec_get_name(codec->codec_id),
          .profile = codec->profile,
          .sampleRate = codec->sample_rate,
          .channels = codec->ch_layout.nb_channels,
          .durationSeconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base),
          .bitRate = codec->bit_rate};
}

M4AItems readM4AItems(const std::filesystem::path& file) {
  TagLib::MP4::File mp4(file.c_str());
  if (!mp4.isValid() || mp4.tag() == nullptr) {
    throw std::runtime_error("not an MP4 file: " + file.string());
  }
  M4AItems items;
  for (const auto& [key, item] : mp4.tag()->itemMap()) {
    const std::string text = item.toStringList().toString(" / ").to8Bit(true);
    if (!item.toStringList().isEmpty()) {
      items.texts[key.to8Bit(false)] = text;  // the keys are Latin-1, as "\251nam"
    }
    if (key == "\251nam") {
      items.title = text;
    } else if (key == "\251ART") {
      items.artist = text;
    } else if (key == "\251alb") {
      items.album = text;
    } else if (key == "----:com.apple.iTunes:iTunSMPB") {
      items.iTunSMPB = text;
    } else if (key == "trkn" || key == "disk") {
      const auto pair = item.toIntPair();
      (key == "trkn" ? items.trackNumber : items.discNumber) = std::pair{pair.first, pair.second};
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

M4AItems readFLACItems(const std::filesystem::path& file) {
  TagLib::FLAC::File flac(file.c_str());
  if (!flac.isValid() || flac.xiphComment() == nullptr) {
    throw std::runtime_error("not a FLAC file: " + file.string());
  }
  const auto& fields = flac.xiphComment()->fieldListMap();
  const auto field = [&](const char* name) -> std::optional<std::string> {
    const auto found = fields.find(name);
    if (found == fields.end() || found->second.size() != 1) {
      return std::nullopt;
    }
    return found->second.front().to8Bit(true);
  };
  M4AItems items{.title = field("TITLE"), .artist = field("ARTIST"), .album = field("ALBUM")};
  for (const auto& [name, values] : fields) {
    items.texts[name.to8Bit(true)] = values.toString(" / ").to8Bit(true);
  }
  if (const auto number = field("TRACKNUMBER")) {
    items.trackNumber = std::pair{std::stoi(*number), std::stoi(field("TRACKTOTAL").value_or("0"))};
  }
  if (const auto disc = field("DISCNUMBER")) {
    items.discNumber = std::pair{std::stoi(*disc), std::stoi(field("DISCTOTAL").value_or("0"))};
  }
  for (const auto* picture : flac.pictureList()) {
    const auto data = picture->data();
    if (picture->type() == TagLib::FLAC::Picture::FrontCover &&
        picture->mimeType() == "image/jpeg") {
      items.jpegCovers.emplace_back(data.begin(), data.end());
    }
  }
  return items;
}

EditList readEditList(const std::filesystem::path& file) {
  EditList list;
  bool found = false;
  // mvhd and mdhd: version, flags, two times, then the time scale (after 64-bit times in v1).
  const auto timescale = [](std::string_view box) {
    return bigEndian(box, box[0] == 1 ? 20 : 12, 4);
  };
  walkBoxes(fileContents(file), [&](const std::string& type, std::string_view box) {
    if (type == "mvhd") {
      list.movieTimescale = timescale(box);
    } else if (type == "mdhd") {
      list.mediaTimescale = timescale(box);
    } else if (type == "elst" && bigEndian(box, 4, 4) > 0) {
      const std::size_t width = box[0] == 1 ? 8 : 4;
      list.segmentDuration = bigEndian(box, 8, width);
      list.mediaTime = bigEndian(box, 8 + width, width);
      found = true;
    } else if (type == "stsz") {
      list.packets = bigEndian(box, 8, 4);
    }
  });
  if (!found) {
    throw std::runtime_error("no edit list in " + file.string());
  }
  return list;
}

namespace {

// Hands every frame the decoder gives for the file's audio to `take`; `keepPriming` has the
// decoder keep what the demuxer marks for skipping.
void decodeEachFrame(const std::filesystem::path& file, bool keepPriming,
                     const std::function<void(const AVFrame&)>& take) {
  const auto [input, index] = openAudio(file, true);
  const AVCodecParameters* parameters = input->streams[index]->codecpar;
  Owned<AVCodecContext, avcodec_free_context> decoder(
      avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id)));
  if (!decoder || avcodec_parameters_to_context(decoder.get(), parameters) < 0) {
    throw std::runtime_error("no decoder for " + file.string());
  }
  if (keepPriming) {
    decoder->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
  }
  if (avcodec_open2(decoder.get(), decoder->codec, nullptr) < 0) {
    throw std::runtime_error("no decoder for " + file.string());
  }
  Owned<AVPacket, av_packet_free> packet(av_packet_alloc());
  Owned<AVFrame, av_frame_free> frame(av_frame_alloc());
  const auto decode = [&](const AVPacket* sent) {
    avcodec_send_packet(decoder.get(), sent);
    while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
      if (frame->ch_layout.nb_channels != 2) {
        throw std::runtime_error("unexpected decoded format");
      }
      take(*frame);
    }
  };
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) {
      decode(packet.get());
    }
    av_packet_unref(packet.get());
  }
  decode(nullptr);
}

}  // namespace

std::vector<float> decodeIgnoringEditList(const std::filesystem::path& file) {
  std::vector<float> samples;
  decodeEachFrame(file, true, [&](const AVFrame& frame) {
    if (frame.format != AV_SAMPLE_FMT_FLTP) {
      throw std::runtime_error("unexpected decoded format");
    }
    for (int i = 0; i < frame.nb_samples; ++i) {
      samples.push_back(reinterpret_cast<const float*>(frame.data[0])[i]);
      samples.push_back(reinterpret_cast<const float*>(frame.data[1])[i]);
    }
  });
  return samples;
}

std::vector<std::uint8_t> decodeLosslessPCM(const std::filesystem::path& file) {
  std::vector<std::uint8_t> pcm;
  decodeEachFrame(file, false, [&](const AVFrame& frame) {
    const bool planar = frame.format == AV_SAMPLE_FMT_S16P;
    if (!planar && frame.format != AV_SAMPLE_FMT_S16) {
      throw std::runtime_error("not 16-bit audio");
    }
    for (int i = 0; i < frame.nb_samples; ++i) {
      for (int channel = 0; channel < 2; ++channel) {
        const auto* sample =
            planar ? frame.data[channel] + 2 * i : frame.data[0] + 4 * i + 2 * channel;
        pcm.push_back(sample[0]);
        pcm.push_back(sample[1]);
      }
    }
  });
  return pcm;
}

double toneLevelDB(const std::vector<float>& samples, double hertz) {
  // Goertzel's recurrence at `hertz`, then the component's amplitude.
  const std::size_t frames = samples.size() / 2;
  const double coefficient = 2 * std::cos(2 * std::numbers::pi * hertz / 44100.0);
  double previous = 0;
  double beforePrevious = 0;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const double current = samples[2 * frame] + coefficient * previous - beforePrevious;
    beforePrevious = previous;
    previous = current;
  }
  const double power = previous * previous + beforePrevious * beforePrevious -
                       coefficient * previous * beforePrevious;
  return 20 * std::log10(2 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(frames));
}

double toneLevelDB(const std::vector<std::uint8_t>& pcm, double hertz) {
  std::vector<float> samples(pcm.size() / 2);
  for (std::size_t index = 0; index < samples.size(); ++index) {
    samples[index] =
        static_cast<float>(static_cast<std::int16_t>(pcm[2 * index] | pcm[2 * index + 1] << 8)) /
        32768.0f;
  }
  return toneLevelDB(samples, hertz);
}

}  // namespace noru::testing
