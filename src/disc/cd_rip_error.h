#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace noru::disc {

// The error of the disc-reading and encoding operations. Its text is the case name, with the
// error number in parentheses for readFailed: "readFailed(5)", "deviceNotFound".
class CDRipError : public std::runtime_error {
 public:
  enum class Kind { readFailed, deviceNotFound, encodingFailed, noDiscPresent };

  static CDRipError readFailed(std::int32_t errorNumber) {
    return CDRipError(Kind::readFailed, errorNumber);
  }
  static CDRipError deviceNotFound() { return CDRipError(Kind::deviceNotFound, 0); }
  static CDRipError encodingFailed() { return CDRipError(Kind::encodingFailed, 0); }
  static CDRipError noDiscPresent() { return CDRipError(Kind::noDiscPresent, 0); }

  Kind kind() const { return kind_; }
  std::int32_t errorNumber() const { return errorNumber_; }  // readFailed only

 private:
  CDRipError(Kind kind, std::int32_t errorNumber);
  static std::string describe(Kind kind, std::int32_t errorNumber);

  Kind kind_;
  std::int32_t errorNumber_;
};

}  // namespace noru::disc
