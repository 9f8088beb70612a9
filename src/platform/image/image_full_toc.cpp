#include "platform/image/image_full_toc.h"

namespace noru::platform::image {
namespace {

constexpr std::uint8_t kSession = 1;
constexpr std::uint8_t kAdrOne = 0x10;
constexpr std::uint8_t kDiscTypeCdDaOrRom = 0x00;
constexpr std::uint8_t kDiscTypeXa = 0x20;
constexpr std::int32_t kLeadInFrames = 150;

void appendDescriptor(std::vector<std::uint8_t>& toc, std::uint8_t control, std::uint8_t point,
                      std::uint8_t pMin, std::uint8_t pSec, std::uint8_t pFrame) {
  const std::uint8_t descriptor[11] = {
      kSession, static_cast<std::uint8_t>(kAdrOne | (control & 0x0F)),
      0,        point,
      0,        0,
      0,        0,
      pMin,     pSec,
      pFrame};
  toc.insert(toc.end(), std::begin(descriptor), std::end(descriptor));
}

void appendAddressDescriptor(std::vector<std::uint8_t>& toc, std::uint8_t control,
                             std::uint8_t point, std::int32_t sector) {
  const std::int32_t frames = sector + kLeadInFrames;
  appendDescriptor(toc, control, point, static_cast<std::uint8_t>(frames / 4500),
                   static_cast<std::uint8_t>(frames / 75 % 60),
                   static_cast<std::uint8_t>(frames % 75));
}

}  // namespace

std::vector<std::uint8_t> imageFullToc(const DiscImage& image) {
  std::vector<std::uint8_t> toc = {0, 0, kSession, kSession};
  const auto& first = image.tracks.front();
  const auto& last = image.tracks.back();
  appendDescriptor(toc, first.control, 0xA0, static_cast<std::uint8_t>(first.number),
                   image.extendedArchitecture ? kDiscTypeXa : kDiscTypeCdDaOrRom, 0);
  appendDescriptor(toc, last.control, 0xA1, static_cast<std::uint8_t>(last.number), 0, 0);
  appendAddressDescriptor(toc, last.control, 0xA2, image.leadOutSector);
  for (const auto& track : image.tracks) {
    appendAddressDescriptor(toc, track.control, static_cast<std::uint8_t>(track.number),
                            track.startSector);
  }
  const auto length = toc.size() - 2;
  toc[0] = static_cast<std::uint8_t>(length >> 8);
  toc[1] = static_cast<std::uint8_t>(length & 0xFF);
  return toc;
}

}  // namespace noru::platform::image
