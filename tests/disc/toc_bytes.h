#pragma once

#include <cstdint>
#include <vector>

namespace noru::disc::testing {

// One 11-byte descriptor of a full TOC.
struct Descriptor {
  std::uint8_t point, pMin, pSec, pFrame;
  std::uint8_t control = 0;  // 4: data track
  std::uint8_t session = 1;
  std::uint8_t adr = 1;
};

inline Descriptor audioTrack(std::uint8_t point, std::uint8_t m, std::uint8_t s, std::uint8_t f,
                             std::uint8_t session = 1) {
  return {point, m, s, f, 0, session};
}

inline Descriptor dataTrack(std::uint8_t point, std::uint8_t m, std::uint8_t s, std::uint8_t f,
                            std::uint8_t session = 1) {
  return {point, m, s, f, 4, session};
}

inline Descriptor leadOut(std::uint8_t m, std::uint8_t s, std::uint8_t f,
                          std::uint8_t session = 1) {
  return {0xA2, m, s, f, 0, session};
}

// A full TOC with a correct length field.
inline std::vector<std::uint8_t> fullToc(const std::vector<Descriptor>& descriptors) {
  const std::size_t length = 2 + 11 * descriptors.size();
  std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(length >> 8),
                                     static_cast<std::uint8_t>(length), 1, 1};
  for (const auto& d : descriptors) {
    const auto adrControl = static_cast<std::uint8_t>(d.adr << 4 | d.control);
    bytes.insert(bytes.end(),
                 {d.session, adrControl, 0, d.point, 0, 0, 0, 0, d.pMin, d.pSec, d.pFrame});
  }
  return bytes;
}

}  // namespace noru::disc::testing
