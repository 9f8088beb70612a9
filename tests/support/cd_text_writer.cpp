#include "support/cd_text_writer.h"

#include <algorithm>
#include <array>

#include "platform/linux/cd_text_packs.h"

namespace noru::testing {
namespace {

using platform::linux_cd::cdTextCRC;

// `pack`'s 16 bytes followed by their CRC, as the pack ends.
std::vector<std::uint8_t> withCRC(std::vector<std::uint8_t> pack) {
  const auto crc = cdTextCRC(pack);
  pack.insert(pack.end(), {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc)});
  return pack;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> cdTextBlock(int block, std::uint8_t characterSet,
                                                   bool doubleByte, const CDTextTypes& types,
                                                   bool withSizePack) {
  const int width = doubleByte ? 2 : 1;
  std::uint8_t sequence = 0;
  std::vector<std::vector<std::uint8_t>> packs;
  for (const auto& [type, texts] : types) {
    // Every byte of the type's texts, each ended by a NUL character, with the track it belongs
    // to and its character's place in that text.
    std::vector<std::array<int, 3>> stream;
    for (int track = 0; track < static_cast<int>(texts.size()); ++track) {
      const std::string ended = texts[track] + std::string(width, '\0');
      for (std::size_t at = 0; at < ended.size(); ++at) {
        stream.push_back(
            {track, static_cast<int>(at) / width, static_cast<std::uint8_t>(ended[at])});
      }
    }
    for (std::size_t at = 0; at < stream.size(); at += 12) {
      std::vector<std::uint8_t> pack{
          type, static_cast<std::uint8_t>(stream[at][0]), sequence++,
          static_cast<std::uint8_t>((doubleByte ? 0x80 : 0) | block << 4 |
                                    std::min(stream[at][1], 15))};
      for (std::size_t i = at; i < at + 12; ++i) {
        pack.push_back(i < stream.size() ? static_cast<std::uint8_t>(stream[i][2]) : 0);
      }
      packs.push_back(withCRC(std::move(pack)));
    }
  }
  if (withSizePack) {  // the first of the block's size packs, which names its character set
    std::vector<std::uint8_t> size{0x8F, 0, sequence, static_cast<std::uint8_t>(block << 4),
                                   characterSet};
    size.resize(16, 0);
    packs.push_back(withCRC(std::move(size)));
  }
  return packs;
}

}  // namespace noru::testing
