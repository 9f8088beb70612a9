#pragma once

#include <span>
#include <vector>

#include "accuraterip/disc_identifiers.h"
#include "accuraterip/pressing.h"

namespace noru::accuraterip {

// Reads a database file (dBAR-*.bin) fetched for `disc`. The file is a run of blocks, one per
// pressing, all little-endian: a track count byte, id1, id2 and the CDDB id (4 bytes each),
// then per track a confidence byte, the CRC and the offset-finding CRC (4 bytes each).
// All or nothing: raises DatabaseAnswerError when the body is empty, ends inside a block, or
// holds a block whose track count or identifiers are not the disc's. Any bytes are safe to pass.
std::vector<Pressing> parseDatabaseAnswer(std::span<const std::uint8_t> body,
                                          const DiscIdentifiers& disc);

}  // namespace noru::accuraterip
