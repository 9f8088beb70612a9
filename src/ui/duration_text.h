#pragma once

#include <string>
#include <vector>

#include "disc/cd_track_info.h"

namespace noru::ui {

// "m:ss" for a number of seconds, truncated to whole seconds; minutes go on past 59 ("75:00").
std::string durationText(double seconds);

// A track's length in seconds: its sectors / 75.
double trackSeconds(const disc::CDTrackInfo& track);

// The sum of the tracks' lengths in seconds.
double discSeconds(const std::vector<disc::CDTrackInfo>& tracks);

}  // namespace noru::ui
