#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/linux/disc_facts.h"

namespace noru::platform::linux_cd {

// The size of one CD-Text pack: type, track, sequence number, block and character position,
// 12 bytes of text and a CRC.
inline constexpr std::size_t kCDTextPackBytes = 18;

// The CRC a CD-Text pack carries in its last two bytes (high byte first): CRC-16/CCITT
// (x^16 + x^12 + x^5 + 1, starting from 0) of the pack's first 16 bytes, inverted.
std::uint16_t cdTextCRC(std::span<const std::uint8_t> bytes);

// The titles and performers of the album and its tracks in CD-Text packs, as the disc's lead-in
// holds them (READ TOC format 0101b delivers them after a 4-byte header). A pack whose CRC fails
// is left out, and so is every text it would have completed. Of several language blocks the
// lowest that holds text is read, in its character set (ISO-8859-1, ASCII or MS-JIS; a block in
// another set gives nothing).
CDText decodeCDTextPacks(std::span<const std::uint8_t> packs);

// ISO-8859-1 bytes as UTF-8.
std::string latin1ToUTF8(std::string_view bytes);
// Whether `text` is well-formed UTF-8 (by the form of its sequences).
bool isUTF8(std::string_view text);

}  // namespace noru::platform::linux_cd
