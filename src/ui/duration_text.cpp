#include "ui/duration_text.h"

#include <cstdio>

namespace noru::ui {

std::string durationText(double seconds) {
  const auto whole = static_cast<long long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

double trackSeconds(const disc::CDTrackInfo& track) {
  return static_cast<double>(track.sectorCount) / 75.0;
}

double discSeconds(const std::vector<disc::CDTrackInfo>& tracks) {
  double total = 0;
  for (const auto& track : tracks) {
    total += trackSeconds(track);
  }
  return total;
}

}  // namespace noru::ui
