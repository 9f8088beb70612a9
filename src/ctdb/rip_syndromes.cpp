#include "ctdb/rip_syndromes.h"

#include <algorithm>
#include <array>

#include "ctdb/galois16.h"
#include "ctdb/nearest_offset.h"

namespace noru::ctdb {

namespace {

constexpr std::size_t kRowBytes = RipSyndromes::kColumns * 2;

}  // namespace

RipSyndromes::RipSyndromes(std::int64_t samples)
    : rows_(std::max<std::int64_t>(samples / kRowSamples - 2, 0)),
      syndromes_(kSyndromes * kColumns, 0) {
  for (auto& edge : edges_) {
    edge.assign(kRowBytes, 0);
  }
}

void RipSyndromes::add(std::int64_t first, std::span<const std::uint8_t> pcm) {
  const auto& field = Galois16::field();
  const std::int64_t count = static_cast<std::int64_t>(pcm.size()) / 4;
  const std::int64_t edgeRows[] = {0, 1, rows_, rows_ + 1};
  for (std::size_t edge = 0; edge < edges_.size(); ++edge) {
    const std::int64_t from = std::max(first, edgeRows[edge] * kRowSamples);
    const std::int64_t to = std::min(first + count, (edgeRows[edge] + 1) * kRowSamples);
    for (std::int64_t byte = from * 4; byte < to * 4; ++byte) {
      edges_[edge][static_cast<std::size_t>(byte - edgeRows[edge] * kRowSamples * 4)] ^=
          pcm[static_cast<std::size_t>(byte - first * 4)];
    }
  }
  // Row by row: each word w of row r adds w × α^(i (L − r)) to S_i of its column. The products
  // with one row's 16 factors come from tables of its low and its high byte's products.
  std::vector<std::uint16_t> products(kSyndromes * 512);
  for (std::int64_t at = 0; at < count;) {
    const std::int64_t row = (first + at) / kRowSamples;
    const std::int64_t rowEnd = std::min(count, (row + 1) * kRowSamples - first);
    if (row < 1 || row > rows_) {
      at = rowEnd;
      continue;
    }
    for (std::size_t i = 0; i < kSyndromes; ++i) {
      const auto factor = field.power(static_cast<std::int64_t>(i) * (rows_ - row));
      for (std::uint16_t byte = 0; byte < 256; ++byte) {
        products[i * 512 + byte] = field.multiply(byte, factor);
        products[i * 512 + 256 + byte] =
            field.multiply(static_cast<std::uint16_t>(byte << 8), factor);
      }
    }
    const auto firstColumn = static_cast<std::size_t>((first + at) % kRowSamples) * 2;
    const auto words = static_cast<std::size_t>(rowEnd - at) * 2;
    const std::uint8_t* bytes = pcm.data() + at * 4;
    for (std::size_t i = 0; i < kSyndromes; ++i) {
      const std::uint16_t* low = products.data() + i * 512;
      const std::uint16_t* high = low + 256;
      std::uint16_t* syndrome = syndromes_.data() + i * kColumns + firstColumn;
      for (std::size_t word = 0; word < words; ++word) {
        syndrome[word] ^= low[bytes[2 * word]] ^ high[bytes[2 * word + 1]];
      }
    }
    at = rowEnd;
  }
}

std::uint16_t RipSyndromes::edgeWord(std::size_t edge, std::size_t column) const {
  return static_cast<std::uint16_t>(edges_[edge][2 * column] | edges_[edge][2 * column + 1] << 8);
}

std::uint16_t RipSyndromes::syndromeAt(std::int32_t offset, std::size_t index,
                                       std::size_t column) const {
  const auto& field = Galois16::field();
  const auto i = static_cast<std::int64_t>(index);
  // The column's words lie `offset` samples on in the rip: in another column, and a row later
  // (or earlier) when that wraps past the row's end (or start).
  const std::int64_t sample = static_cast<std::int64_t>(column / 2) + offset;
  const std::int64_t shift = sample >= kRowSamples ? 1 : sample < 0 ? -1 : 0;
  const auto ripColumn = static_cast<std::size_t>(sample - shift * kRowSamples) * 2 + column % 2;
  std::uint16_t value = syndrome(index, ripColumn);
  if (shift == 1) {
    // Rows 2 … L + 1: without row 1, with row L + 1 (power −1), all one power up.
    value ^= field.multiply(edgeWord(1, ripColumn), field.power(i * (rows_ - 1)));
    value ^= field.multiply(edgeWord(3, ripColumn), field.power(-i));
    return field.multiply(value, field.power(i));
  }
  if (shift == -1) {
    // Rows 0 … L − 1: with row 0 (power L), without row L (power 0), all one power down.
    value ^= field.multiply(edgeWord(0, ripColumn), field.power(i * rows_));
    value ^= edgeWord(2, ripColumn);
    return field.multiply(value, field.power(-i));
  }
  return value;
}

std::optional<std::int32_t> RipSyndromes::offsetOf(std::span<const std::uint16_t> column0) const {
  const auto matches = [&](std::int32_t offset) {
    for (std::size_t index = 0; index < column0.size() && index < kSyndromes; ++index) {
      if (syndromeAt(offset, index, 0) != column0[index]) {
        return false;
      }
    }
    return !column0.empty();
  };
  return nearestOffset(matches);
}

}  // namespace noru::ctdb
