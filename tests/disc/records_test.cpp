#include <gtest/gtest.h>

#include <functional>
#include <unordered_set>

#include "disc/cd_lookup_release.h"
#include "disc/cd_rip_error.h"

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
  EXPECT_EQ(std::unordered_set<CDLookupRelease>({base, withEmptyDate, base}).size(), 2u);
}

TEST(Records, RipErrorTexts) {
  EXPECT_STREQ(CDRipError::readFailed(5).what(), "readFailed(5)");
  EXPECT_STREQ(CDRipError::readFailed(-22).what(), "readFailed(-22)");
  EXPECT_STREQ(CDRipError::deviceNotFound().what(), "deviceNotFound");
  EXPECT_STREQ(CDRipError::encodingFailed().what(), "encodingFailed");
  EXPECT_STREQ(CDRipError::noDiscPresent().what(), "noDiscPresent");
}

}  // namespace
}  // namespace noru::disc
