#pragma once

#include <stdexcept>
#include <string>

namespace noru::accuraterip {

// The AccurateRip database answered, but not with a usable answer: a status other than success
// or "not found", or a body that is not a well-formed answer for the disc asked about.
class DatabaseAnswerError : public std::runtime_error {
 public:
  explicit DatabaseAnswerError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace noru::accuraterip
