#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace noru::disc {

// One track of a release offered by the metadata service.
struct CDLookupTrack {
  std::int64_t number = 0;
  std::string title;
  std::string artistCredit;
  std::optional<std::int64_t> lengthMs;
  std::optional<std::string> recordingMbid;

  bool operator==(const CDLookupTrack&) const = default;
};

}  // namespace noru::disc

template <>
struct std::hash<noru::disc::CDLookupTrack> {
  std::size_t operator()(const noru::disc::CDLookupTrack& track) const noexcept;
};
