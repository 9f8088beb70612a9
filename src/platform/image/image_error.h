#pragma once

#include <stdexcept>

namespace noru::platform::image {

// A disc image that cannot serve as a drive. what() says why, in words meant for the user.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace noru::platform::image
