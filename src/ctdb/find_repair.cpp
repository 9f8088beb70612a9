#include "ctdb/find_repair.h"

#include <algorithm>

#include "ctdb/find_column_errors.h"
#include "platform/tasks/cancellation_error.h"

namespace noru::ctdb {
namespace {

constexpr std::int64_t kRow = RipSyndromes::kRowSamples;

// The smallest r with r × kRow ≥ value.
std::int64_t rowsUpTo(std::int64_t value) {
  const std::int64_t quotient = value / kRow;
  return quotient + (value % kRow > 0 ? 1 : 0);
}

// The powers of x at which the words of `column` within `suspect` stand: row r (1 … L) holds the
// rip's sample r × kRow + column / 2 + offset, at power L − r.
std::vector<int> suspectPowers(std::int64_t rows, std::size_t column, std::int32_t offset,
                               std::span<const SampleRange> suspect) {
  const std::int64_t shift = static_cast<std::int64_t>(column / 2) + offset;
  std::vector<int> powers;
  for (const auto& range : suspect) {
    const std::int64_t firstRow = std::max<std::int64_t>(1, rowsUpTo(range.from - shift));
    const std::int64_t endRow = std::min(rows + 1, rowsUpTo(range.to - shift));
    for (std::int64_t row = firstRow; row < endRow; ++row) {
      powers.push_back(static_cast<int>(rows - row));
    }
  }
  return powers;
}

}  // namespace

std::optional<std::vector<WordCorrection>> findRepair(const RipSyndromes& rip,
                                                      std::span<const std::uint16_t> file,
                                                      std::size_t count, std::int32_t offset,
                                                      std::span<const SampleRange> suspect,
                                                      const std::stop_token& stop) {
  std::vector<WordCorrection> corrections;
  std::vector<std::uint16_t> difference(count);
  for (std::size_t column = 0; column < RipSyndromes::kColumns; ++column) {
    if (column % 256 == 0 && stop.stop_requested()) {
      throw platform::tasks::CancellationError();
    }
    bool right = true;
    for (std::size_t i = 0; i < count; ++i) {
      difference[i] = rip.syndromeAt(offset, i, column) ^ file[i * RipSyndromes::kColumns + column];
      right = right && difference[i] == 0;
    }
    if (right) {
      continue;
    }
    const auto errors =
        findColumnErrors(difference, suspectPowers(rip.rows(), column, offset, suspect));
    if (!errors) {
      return std::nullopt;
    }
    for (const auto& error : *errors) {
      const std::int64_t row = rip.rows() - error.power;
      corrections.push_back({row * kRow + static_cast<std::int64_t>(column / 2) + offset,
                             static_cast<int>(column % 2), error.value});
    }
  }
  return corrections;
}

}  // namespace noru::ctdb
