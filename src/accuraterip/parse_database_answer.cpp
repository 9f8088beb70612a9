#include "accuraterip/parse_database_answer.h"

#include <cstddef>
#include <cstdint>

#include "accuraterip/database_answer_error.h"

namespace noru::accuraterip {
namespace {

constexpr std::size_t kHeaderBytes = 1 + 3 * 4;
constexpr std::size_t kTrackBytes = 1 + 2 * 4;

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

}  // namespace

std::vector<Pressing> parseDatabaseAnswer(std::span<const std::uint8_t> body,
                                          const DiscIdentifiers& disc) {
  const auto trackCount = static_cast<std::size_t>(disc.audioTrackCount);
  const std::size_t blockBytes = kHeaderBytes + kTrackBytes * trackCount;
  if (body.empty()) {
    throw DatabaseAnswerError("empty AccurateRip answer");
  }
  // Every block of an answer for this disc has the same size, so any other length is a
  // truncated answer or one with bytes that belong to no block.
  if (body.size() % blockBytes != 0) {
    throw DatabaseAnswerError("AccurateRip answer of " + std::to_string(body.size()) +
                              " bytes is no whole number of " + std::to_string(blockBytes) +
                              "-byte blocks");
  }
  std::vector<Pressing> pressings;
  for (std::size_t o = 0; o < body.size(); o += blockBytes) {
    const std::uint8_t* block = body.data() + o;
    if (block[0] != trackCount || littleEndian32(block + 1) != disc.id1 ||
        littleEndian32(block + 5) != disc.id2 || littleEndian32(block + 9) != disc.cddbId) {
      throw DatabaseAnswerError("AccurateRip answer holds a block for another disc");
    }
    Pressing pressing;
    pressing.tracks.reserve(trackCount);
    for (std::size_t t = 0; t < trackCount; ++t) {
      const std::uint8_t* entry = block + kHeaderBytes + kTrackBytes * t;
      pressing.tracks.push_back({entry[0], littleEndian32(entry + 1), littleEndian32(entry + 5)});
    }
    pressings.push_back(std::move(pressing));
  }
  return pressings;
}

}  // namespace noru::accuraterip
