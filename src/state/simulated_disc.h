#pragma once

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"

namespace noru::state {

// A fixed 14-track disc in a fictitious drive, for exercising the window without hardware.
disc::CDDrive simulatedDrive();
disc::CDDiscInfo simulatedDiscInfo();
inline constexpr const char* kSimulatedDiscId = "DEBUG+UNKNOWN+DISC+123456+ABCDEF";

}  // namespace noru::state
