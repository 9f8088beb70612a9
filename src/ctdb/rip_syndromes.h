#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace noru::ctdb {

// The syndromes of a rip's audio as the CUETools database's files of syndromes hold a disc's:
// the audio region (from the first audio track's start, N stereo samples of two 16-bit
// little-endian words) laid out as rows of 5,880 samples, 11,760 words; each column over the
// rows 1 … L (L = N div 5880 − 2: the rows of the whole-disc CRC) is a codeword whose first row
// is the highest power, and S_i of a column is that codeword at α^i, i = 0 … 15 (GF(2^16)).
//
// Syndromes are linear: audio is added by XOR, so that adding audio a second time takes it out
// again, and a track read again is brought up to date by adding its old audio and its new.
class RipSyndromes {
 public:
  static constexpr std::int64_t kRowSamples = 5880;
  static constexpr std::size_t kColumns = 2 * kRowSamples;
  static constexpr std::size_t kSyndromes = 16;

  explicit RipSyndromes(std::int64_t samples);

  // Adds `pcm` (whole samples), which lies from sample `first` of the audio region on.
  void add(std::int64_t first, std::span<const std::uint8_t> pcm);

  std::int64_t rows() const { return rows_; }
  std::uint16_t syndrome(std::size_t index, std::size_t column) const {
    return syndromes_[index * kColumns + column];
  }

 private:
  std::int64_t rows_;
  std::vector<std::uint16_t> syndromes_;  // S_0 of every column, then S_1, …
};

}  // namespace noru::ctdb
