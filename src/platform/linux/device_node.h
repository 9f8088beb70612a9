#pragma once

#include <string>
#include <string_view>

namespace noru::platform::linux_cd {

// Whether `name` is a bare device name such as "sr0": not empty, no directory part, not "." or
// "..". Anything else could make "/dev/" + name point outside /dev.
bool isPlainDeviceName(std::string_view name);

// "/dev/" + name.
std::string deviceNodePath(std::string_view name);

// Flags for opening a drive's device node: read-only, and non-blocking so that an empty drive
// opens at once instead of waiting for a disc.
int deviceOpenFlags();

}  // namespace noru::platform::linux_cd
