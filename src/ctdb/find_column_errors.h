#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace noru::ctdb {

// A word of a codeword that is wrong: where (the power of x it stands at) and what to XOR it with.
struct WordError {
  int power = 0;
  std::uint16_t value = 0;

  bool operator==(const WordError&) const = default;
};

// The wrong words of one column of a Reed–Solomon code over GF(2^16) whose syndromes are
// S_i = c(α^i), i = 0 … npar − 1, found from `difference`: the syndromes of the column as read
// less (XOR) those of the right column, that is the syndromes of the error alone (Berlekamp–
// Massey, then a Chien search over the powers in `candidates`, then Forney). None for a column
// that is right; nothing when the column has more wrong words than npar / 2, or wrong words
// outside the candidates: the syndromes cannot tell then, and nothing may be changed.
std::optional<std::vector<WordError>> findColumnErrors(std::span<const std::uint16_t> difference,
                                                       std::span<const int> candidates);

}  // namespace noru::ctdb
