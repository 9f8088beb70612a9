#include "support/cd_text_writer.h"

#include <algorithm>

#include "platform/linux/cd_text_packs.h"

namespace noru::testing {
namespace {

using platform::linux_cd::cdTextCRC;

// The packs of one block's texts of one type ("Album", "Track 1", ...), 12 bytes of text a
// pack, each pack naming the track its first character belongs to and how far into that text
// it starts; its sequence numbers continue from `sequence`.
std::vector<std::vector<std::uint8_t>> textPacks(std::uint8_t type, int block, bool doubleByte,
                                                 const std::vector<std::string>& texts,
                                                 int& sequence) {
  struct Character {
    int track;
    int position;
    std::uint8_t byte;
  };
  std::vector<Character> stream;
  for (int track = 0; track < static_cast<int>(texts.size()); ++track) {
    const std::string ended =
        texts[track] + (doubleByte ? std::string(2, '\0') : std::string(1, '\0'));
    for (std::size_t at = 0; at < ended.size(); ++at) {
      stream.push_back({track, static_cast<int>(at / (doubleByte ? 2 : 1)),
                        static_cast<std::uint8_t>(ended[at])});
    }
  }
  std::vector<std::vector<std::uint8_t>> packs;
  for (std::size_t at = 0; at < stream.size(); at += 12) {
    std::vector<std::uint8_t> pack{type, static_cast<std::uint8_t>(stream[at].track),
                                   static_cast<std::uint8_t>(sequence++),
                                   static_cast<std::uint8_t>((doubleByte ? 0x80 : 0) | block << 4 |
                                                             std::min(stream[at].position, 15))};
    for (std::size_t i = at; i < at + 12; ++i) {
      pack.push_back(i < stream.size() ? stream[i].byte : 0);
    }
    const auto crc = cdTextCRC(pack);
    pack.push_back(static_cast<std::uint8_t>(crc >> 8));
    pack.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    packs.push_back(std::move(pack));
  }
  return packs;
}

// The first block-size pack of a block, which names its character set.
std::vector<std::uint8_t> sizePack(int block, std::uint8_t characterSet, int& sequence) {
  std::vector<std::uint8_t> pack{0x8F, 0, static_cast<std::uint8_t>(sequence++),
                                 static_cast<std::uint8_t>(block << 4), characterSet};
  pack.resize(16, 0);
  const auto crc = cdTextCRC(pack);
  pack.push_back(static_cast<std::uint8_t>(crc >> 8));
  pack.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  return pack;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> cdTextBlock(int block, std::uint8_t characterSet,
                                                   bool doubleByte, const CDTextTypes& types,
                                                   bool withSizePack) {
  int sequence = 0;
  std::vector<std::vector<std::uint8_t>> packs;
  for (const auto& [type, texts] : types) {
    auto more = textPacks(type, block, doubleByte, texts, sequence);
    packs.insert(packs.end(), more.begin(), more.end());
  }
  if (withSizePack) {
    packs.push_back(sizePack(block, characterSet, sequence));
  }
  return packs;
}

}  // namespace noru::testing
