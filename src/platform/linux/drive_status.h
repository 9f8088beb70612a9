#pragma once

#include <optional>
#include <string>

#include "platform/linux/system_calls.h"

namespace noru::platform::linux_cd {

// The media state text for a CDROM_DRIVE_STATUS answer; nothing for a failed request.
std::optional<std::string> mediaStateFromDriveStatus(int status);

// Asks the drive at `devicePath` (e.g. "/dev/sr0") whether a disc is in it. Nothing when the
// device cannot be opened or does not answer.
std::optional<std::string> readMediaState(SystemCalls& calls, const std::string& devicePath);

}  // namespace noru::platform::linux_cd
