#include "disc/sector_stretch.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace noru::disc {

std::string positionText(std::int32_t sector) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d.%02d", sector / (75 * 60), sector / 75 % 60,
                sector % 75);
  return text;
}

std::string stretchText(SectorStretch stretch) {
  const auto first = positionText(stretch.first);
  return stretch.count <= 1 ? first : first + "\u2013" + positionText(stretch.end() - 1);
}

std::vector<std::int32_t> sectorsInEither(const std::vector<std::int32_t>& a,
                                          const std::vector<std::int32_t>& b) {
  std::vector<std::int32_t> either;
  std::ranges::set_union(a, b, std::back_inserter(either));
  return either;
}

std::vector<SectorStretch> stretchesOf(const std::vector<std::int32_t>& sectors) {
  std::vector<SectorStretch> stretches;
  for (const auto sector : sectors) {
    if (!stretches.empty() && stretches.back().end() == sector) {
      ++stretches.back().count;
    } else {
      stretches.push_back({sector, 1});
    }
  }
  return stretches;
}

}  // namespace noru::disc
