#include <gtest/gtest.h>

#include <functional>

#include "disc/cd_lookup_release.h"

namespace noru::disc {
namespace {

TEST(Records, ReleaseOptionalsDistinguishAbsentFromEmpty) {
  const CDLookupRelease base{.id = "r",
                             .title = "T",
                             .artistCredit = "A",
                             .tracks = {{1, "One", "A", 1000, std::nullopt}}};
  const std::hash<CDLookupRelease> hash;
  auto changed = [&](const std::function<void(CDLookupRelease&)>& change) {
    auto release = base;
    change(release);
    return release;
  };
  const auto withEmptyDate = changed([](auto& r) { r.date = ""; });
  const auto withEmptyRecording = changed([](auto& r) { r.tracks[0].recordingMbid = ""; });
  for (const auto& other : {withEmptyDate, withEmptyRecording}) {
    EXPECT_NE(base, other);
    EXPECT_NE(hash(base), hash(other));
  }
  // Moving a value between two neighbouring optionals must change the hash too.
  EXPECT_NE(hash(changed([](auto& r) { r.date = "GB"; })),
            hash(changed([](auto& r) { r.country = "GB"; })));
}

}  // namespace
}  // namespace noru::disc
