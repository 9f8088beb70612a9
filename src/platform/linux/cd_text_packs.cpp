#include "platform/linux/cd_text_packs.h"

#include <iconv.h>

#include <map>
#include <string>
#include <vector>

namespace noru::platform::linux_cd {
namespace {

constexpr std::uint8_t kTitlePack = 0x80;
constexpr std::uint8_t kPerformerPack = 0x81;
constexpr std::uint8_t kSizeInfoPack = 0x8F;
constexpr std::size_t kTextBytes = 12;

enum class CharacterSet { latin1, ascii, msJIS, unknown };

struct Pack {
  std::uint8_t type = 0;
  int track = 0;
  std::uint8_t sequence = 0;
  bool startsText = false;  // character position 0: the pack's first character begins a text
  bool doubleByte = false;
  std::span<const std::uint8_t> text;
};

CharacterSet characterSetOf(std::uint8_t code) {
  switch (code) {
    case 0x00:
      return CharacterSet::latin1;
    case 0x01:
      return CharacterSet::ascii;
    case 0x80:
      return CharacterSet::msJIS;
    default:
      return CharacterSet::unknown;
  }
}

// MS-JIS is Microsoft's Shift JIS (code page 932).
std::optional<std::string> msJISToUTF8(const std::string& bytes) {
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    return std::nullopt;
  }
  std::string text(bytes.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* out = text.data();
  std::size_t outLeft = text.size();
  const std::size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1)) {
    return std::nullopt;
  }
  text.resize(text.size() - outLeft);
  return text;
}

std::optional<std::string> toUTF8(const std::string& bytes, CharacterSet set) {
  switch (set) {
    case CharacterSet::latin1:
    case CharacterSet::ascii:
      return latin1ToUTF8(bytes);
    case CharacterSet::msJIS:
      return msJISToUTF8(bytes);
    case CharacterSet::unknown:
      return std::nullopt;
  }
  return std::nullopt;
}

// The texts of one pack type in one block, by track, in the block's character set. A run of
// packs is cut where a sequence number is missing: the text the gap interrupts is dropped, and
// reading resumes with the first text that begins after it.
std::map<int, std::string> textsOf(const std::vector<Pack>& packs, CharacterSet set) {
  std::map<int, std::string> texts;
  std::string current;
  int track = 0;
  bool whole = false;  // the beginning of `current` was read
  std::optional<std::uint8_t> nextSequence;
  for (const auto& pack : packs) {
    if (pack.sequence != nextSequence) {
      current.clear();
      track = pack.track;
      whole = pack.startsText;
    } else if (current.empty() && whole) {
      track = pack.track;
    }
    nextSequence = static_cast<std::uint8_t>(pack.sequence + 1);
    const std::size_t width = pack.doubleByte ? 2 : 1;
    for (std::size_t at = 0; at + width <= kTextBytes; at += width) {
      const bool ends = pack.text[at] == 0 && (width == 1 || pack.text[at + 1] == 0);
      if (!ends) {
        current.append(reinterpret_cast<const char*>(&pack.text[at]), width);
        continue;
      }
      // A tab alone stands for the text of the track before.
      const bool sameAsBefore = current == "\t" || current == "\t\t";
      if (whole && sameAsBefore && texts.contains(track - 1)) {
        texts[track] = texts[track - 1];
      } else if (whole && !current.empty() && !sameAsBefore) {
        if (auto text = toUTF8(current, set); text && !text->empty()) {
          texts[track] = std::move(*text);
        }
      }
      current.clear();
      whole = true;
      ++track;
    }
  }
  return texts;
}

std::optional<Pack> packAt(std::span<const std::uint8_t> bytes) {
  if (cdTextCRC(bytes.first(16)) != ((bytes[16] << 8) | bytes[17])) {
    return std::nullopt;
  }
  return Pack{.type = bytes[0],
              .track = bytes[1] & 0x7F,
              .sequence = bytes[2],
              .startsText = (bytes[3] & 0x0F) == 0,
              .doubleByte = (bytes[3] & 0x80) != 0,
              .text = bytes.subspan(4, kTextBytes)};
}

}  // namespace

std::string latin1ToUTF8(std::string_view bytes) {
  std::string text;
  for (const char byte : bytes) {
    const auto code = static_cast<unsigned char>(byte);
    if (code < 0x80) {
      text += byte;
    } else {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

bool isUTF8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80           ? 1
                               : (lead >> 5) == 0x06 ? 2
                               : (lead >> 4) == 0x0E ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || at + length > text.size()) {
      return false;
    }
    for (std::size_t next = at + 1; next < at + length; ++next) {
      if ((static_cast<unsigned char>(text[next]) & 0xC0) != 0x80) {
        return false;
      }
    }
    at += length;
  }
  return true;
}

std::uint16_t cdTextCRC(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0;
  for (const std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) != 0 ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

CDText decodeCDTextPacks(std::span<const std::uint8_t> packs) {
  // The intact packs of each block, in disc order, and the character set each block names.
  std::map<int, std::vector<Pack>> blocks;
  std::map<int, CharacterSet> sets;
  for (std::size_t at = 0; at + kCDTextPackBytes <= packs.size(); at += kCDTextPackBytes) {
    const auto pack = packAt(packs.subspan(at, kCDTextPackBytes));
    if (!pack) {
      continue;
    }
    const int block = (packs[at + 3] >> 4) & 0x07;
    if (pack->type == kSizeInfoPack && pack->track == 0) {
      sets[block] = characterSetOf(pack->text[0]);
    } else if (pack->type == kTitlePack || pack->type == kPerformerPack) {
      blocks[block].push_back(*pack);
    }
  }
  if (blocks.empty()) {
    return {};
  }
  const auto& [block, read] = *blocks.begin();
  // Without its size information, a block's character set shows in its packs' width.
  const CharacterSet set =
      sets.contains(block) ? sets[block]
                           : (read.front().doubleByte ? CharacterSet::msJIS : CharacterSet::latin1);
  std::vector<Pack> titles;
  std::vector<Pack> performers;
  for (const auto& pack : read) {
    (pack.type == kTitlePack ? titles : performers).push_back(pack);
  }
  CDText text;
  for (auto [track, title] : textsOf(titles, set)) {
    if (track == 0) {
      text.albumTitle = std::move(title);
    } else {
      text.trackTitles[track] = std::move(title);
    }
  }
  for (auto [track, performer] : textsOf(performers, set)) {
    if (track == 0) {
      text.albumPerformer = std::move(performer);
    } else {
      text.trackPerformers[track] = std::move(performer);
    }
  }
  return text;
}

}  // namespace noru::platform::linux_cd
