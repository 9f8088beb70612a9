#pragma once

#include <string>

#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// Unlocks the door of the drive "/dev/" + bsdName (CDROM_LOCKDOOR 0) and ejects its medium
// (CDROMEJECT). Whether the eject request succeeded; the descriptor is closed either way.
bool ejectMedia(SystemCalls& calls, const std::string& bsdName);

}  // namespace noru::platform::linux_cd
