#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace noru::testing {

// The texts of one CD-Text pack type (0x80 titles, 0x81 performers): the album's, then each
// track's, as the disc encodes them (a tab for "the same as before").
using CDTextTypes = std::vector<std::pair<std::uint8_t, std::vector<std::string>>>;

// The CD-Text packs of one language block, with their CRCs, as a disc's lead-in holds them: the
// texts of each type in 12-byte pieces, each pack naming the track its first character belongs
// to and how far into that text it begins (double-byte characters for MS-JIS), then, when asked
// for, the block-size pack that names the block's character set (0x00 ISO-8859-1, 0x80 MS-JIS).
std::vector<std::vector<std::uint8_t>> cdTextBlock(int block, std::uint8_t characterSet,
                                                   bool doubleByte, const CDTextTypes& types,
                                                   bool withSizePack);

}  // namespace noru::testing
