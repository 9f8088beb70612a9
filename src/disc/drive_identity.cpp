#include "disc/drive_identity.h"

namespace noru::disc {

std::string driveIdentity(const platform::linux_cd::OpticalDevice& device) {
  if (device.registryPath) {
    return *device.registryPath;
  }
  return device.productName.value_or(std::string());
}

}  // namespace noru::disc
