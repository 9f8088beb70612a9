#include "disc/cd_rip_error.h"

namespace noru::disc {

CDRipError::CDRipError(Kind kind, std::int32_t errorNumber)
    : std::runtime_error(describe(kind, errorNumber)), kind_(kind), errorNumber_(errorNumber) {}

std::string CDRipError::describe(Kind kind, std::int32_t errorNumber) {
  switch (kind) {
    case Kind::readFailed:
      return "readFailed(" + std::to_string(errorNumber) + ")";
    case Kind::deviceNotFound:
      return "deviceNotFound";
    case Kind::encodingFailed:
      return "encodingFailed";
    case Kind::noDiscPresent:
      return "noDiscPresent";
  }
  return "unknown";
}

}  // namespace noru::disc
