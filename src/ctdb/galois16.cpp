#include "ctdb/galois16.h"

namespace noru::ctdb {

const Galois16& Galois16::field() {
  static const Galois16 field;
  return field;
}

Galois16::Galois16() : exp_(2 * kOrder), log_(kOrder + 1, 0) {
  constexpr std::uint32_t kPolynomial = 0x1100B;
  std::uint32_t value = 1;
  for (int exponent = 0; exponent < kOrder; ++exponent) {
    exp_[exponent] = static_cast<std::uint16_t>(value);
    exp_[exponent + kOrder] = static_cast<std::uint16_t>(value);
    log_[value] = exponent;
    value <<= 1;
    if (value & 0x10000) {
      value ^= kPolynomial;
    }
  }
}

}  // namespace noru::ctdb
