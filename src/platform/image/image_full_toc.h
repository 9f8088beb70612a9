#pragma once

#include <cstdint>
#include <vector>

#include "platform/image/disc_image.h"

namespace noru::platform::image {

// The full TOC a drive would return for the image (READ TOC/PMA/ATIP format 0010b, MSF
// addresses in binary): session 1 with the A0 (first track, disc type), A1 (last track) and A2
// (lead-out) descriptors, then one ADR 1 descriptor per track.
std::vector<std::uint8_t> imageFullToc(const DiscImage& image);

}  // namespace noru::platform::image
