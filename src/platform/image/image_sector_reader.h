#pragma once

#include <cstdint>
#include <span>

#include "platform/image/disc_image.h"
#include "platform/linux/system_calls.h"

namespace noru::platform::image {

// Reads `sectors` raw audio sectors from logical block `firstSector` of the image into
// `buffer`, through `files` (one open descriptor per image file, in order). Gaps of the sheet
// read as silence. 0, or -1 and errno: EIO for a data-track sector, a sector beyond the
// lead-out or a file that ends early.
int readImageSectors(linux_cd::SystemCalls& calls, const DiscImage& image,
                     std::span<const int> files, std::int32_t firstSector, int sectors,
                     std::uint8_t* buffer);

}  // namespace noru::platform::image
