#include "ctdb/find_column_errors.h"

#include <algorithm>
#include <utility>

#include "ctdb/galois16.h"

namespace noru::ctdb {
namespace {

using Polynomial = std::vector<std::uint16_t>;  // coefficients from x^0 up

std::uint16_t evaluate(const Polynomial& polynomial, std::uint16_t x) {
  const auto& field = Galois16::field();
  std::uint16_t value = 0;
  for (auto coefficient = polynomial.rbegin(); coefficient != polynomial.rend(); ++coefficient) {
    value = static_cast<std::uint16_t>(field.multiply(value, x) ^ *coefficient);
  }
  return value;
}

// The error locator Λ(x) = Π (1 − X_k x) of the syndromes (Berlekamp–Massey), and the number
// of errors it stands for; its degree is that number unless the syndromes are of no error
// pattern the code can place.
std::pair<Polynomial, std::size_t> errorLocator(std::span<const std::uint16_t> syndromes) {
  const auto& field = Galois16::field();
  Polynomial locator{1};
  Polynomial previous{1};
  std::size_t errors = 0;
  std::size_t shift = 1;
  std::uint16_t previousDiscrepancy = 1;
  for (std::size_t n = 0; n < syndromes.size(); ++n) {
    std::uint16_t discrepancy = syndromes[n];
    for (std::size_t i = 1; i <= errors && i < locator.size(); ++i) {
      discrepancy ^= field.multiply(locator[i], syndromes[n - i]);
    }
    if (discrepancy == 0) {
      ++shift;
      continue;
    }
    const auto scale = field.divide(discrepancy, previousDiscrepancy);
    Polynomial next = locator;
    next.resize(std::max(next.size(), previous.size() + shift), 0);
    for (std::size_t i = 0; i < previous.size(); ++i) {
      next[i + shift] ^= field.multiply(scale, previous[i]);
    }
    if (2 * errors <= n) {
      previous = std::move(locator);
      errors = n + 1 - errors;
      previousDiscrepancy = discrepancy;
      shift = 1;
    } else {
      ++shift;
    }
    locator = std::move(next);
  }
  while (locator.size() > 1 && locator.back() == 0) {
    locator.pop_back();
  }
  return {std::move(locator), errors};
}

}  // namespace

std::optional<std::vector<WordError>> findColumnErrors(std::span<const std::uint16_t> difference,
                                                       std::span<const int> candidates) {
  if (std::ranges::all_of(difference, [](std::uint16_t s) { return s == 0; })) {
    return std::vector<WordError>{};
  }
  const auto& field = Galois16::field();
  const auto [locator, errors] = errorLocator(difference);
  if (errors == 0 || 2 * errors > difference.size() || locator.size() != errors + 1) {
    return std::nullopt;
  }
  // Ω(x) = S(x) Λ(x) mod x^npar, and Λ'(x), whose terms of even degree vanish in GF(2^m).
  Polynomial evaluator(difference.size(), 0);
  for (std::size_t i = 0; i < difference.size(); ++i) {
    for (std::size_t j = 0; j < locator.size() && i + j < difference.size(); ++j) {
      evaluator[i + j] ^= field.multiply(difference[i], locator[j]);
    }
  }
  Polynomial derivative(locator.size() > 1 ? locator.size() - 1 : 1, 0);
  for (std::size_t i = 1; i < locator.size(); i += 2) {
    derivative[i - 1] = locator[i];
  }
  std::vector<WordError> found;
  for (const int power : candidates) {
    const auto inverse = field.power(-power);  // X⁻¹ for an error at x^power
    if (evaluate(locator, inverse) != 0) {
      continue;
    }
    const auto slope = evaluate(derivative, inverse);
    if (slope == 0) {
      return std::nullopt;
    }
    // Forney, for syndromes from α^0: e = X Ω(X⁻¹) / Λ'(X⁻¹).
    const auto value =
        field.multiply(field.power(power), field.divide(evaluate(evaluator, inverse), slope));
    found.push_back({power, value});
  }
  if (found.size() != errors) {
    return std::nullopt;
  }
  return found;
}

}  // namespace noru::ctdb
