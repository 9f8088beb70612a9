#include "ctdb/rip_syndromes.h"

#include <algorithm>
#include <array>

#include "ctdb/galois16.h"

namespace noru::ctdb {

RipSyndromes::RipSyndromes(std::int64_t samples)
    : rows_(std::max<std::int64_t>(samples / kRowSamples - 2, 0)),
      syndromes_(kSyndromes * kColumns, 0) {}

void RipSyndromes::add(std::int64_t first, std::span<const std::uint8_t> pcm) {
  const auto& field = Galois16::field();
  const std::int64_t count = static_cast<std::int64_t>(pcm.size()) / 4;
  // Row by row: each word of row r adds word × α^(i (L − r)) to S_i of its column.
  for (std::int64_t at = 0; at < count;) {
    const std::int64_t sample = first + at;
    const std::int64_t row = sample / kRowSamples;
    const std::int64_t rowEnd = std::min(count, (row + 1) * kRowSamples - first);
    if (row < 1 || row > rows_) {
      at = rowEnd;
      continue;
    }
    std::array<std::uint16_t, kSyndromes> scale{};  // α^(i (L − r))
    for (std::size_t i = 0; i < kSyndromes; ++i) {
      scale[i] = field.power(static_cast<std::int64_t>(i) * (rows_ - row));
    }
    for (; at < rowEnd; ++at) {
      const auto column = static_cast<std::size_t>((first + at) % kRowSamples) * 2;
      for (std::size_t channel = 0; channel < 2; ++channel) {
        const auto byte = static_cast<std::size_t>(at) * 4 + channel * 2;
        const auto word = static_cast<std::uint16_t>(pcm[byte] | pcm[byte + 1] << 8);
        if (word == 0) {
          continue;
        }
        auto* syndrome = syndromes_.data() + column + channel;
        for (std::size_t i = 0; i < kSyndromes; ++i, syndrome += kColumns) {
          *syndrome ^= field.multiply(word, scale[i]);
        }
      }
    }
  }
}

}  // namespace noru::ctdb
