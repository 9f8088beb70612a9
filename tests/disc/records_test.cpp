#include <gtest/gtest.h>

#include <functional>
#include <unordered_set>

#include "disc/cd_disc_info.h"
#include "disc/cd_drive.h"
#include "disc/cd_lookup_release.h"
#include "disc/cd_rip_error.h"

namespace noru::disc {
namespace {

TEST(Records, DriveEqualityIncludesTheDiscFlagButIdentityDoesNot) {
  CDDrive loaded{"/sys/devices/x/block/sr0", "HL-DT-ST DVDRAM", "sr0", true};
  CDDrive empty = loaded;
  empty.hasDisc = false;
  EXPECT_NE(loaded, empty);
  EXPECT_EQ(loaded.id, empty.id);
}

TEST(Records, DiscInfoEqualityIsOrderSensitive) {
  CDDiscInfo a{{{1, 0, 100}, {2, 100, 50}}, 150};
  CDDiscInfo b{{{2, 100, 50}, {1, 0, 100}}, 150};
  EXPECT_NE(a, b);
  CDDiscInfo c = a;
  c.totalSectors = 151;
  EXPECT_NE(a, c);
  EXPECT_EQ(a, (CDDiscInfo{{{1, 0, 100}, {2, 100, 50}}, 150}));
}

TEST(Records, ReleaseOptionalsDistinguishAbsentFromEmpty) {
  CDLookupRelease base{.id = "r",
                       .title = "T",
                       .artistCredit = "A",
                       .tracks = {{1, "One", "A", 1000, std::nullopt}}};
  std::hash<CDLookupRelease> hash;

  CDLookupRelease withEmptyDate = base;
  withEmptyDate.date = "";
  EXPECT_NE(base, withEmptyDate);
  EXPECT_NE(hash(base), hash(withEmptyDate));

  CDLookupRelease other = base;
  other.tracks[0].recordingMbid = "";
  EXPECT_NE(base, other);
  EXPECT_NE(hash(base), hash(other));

  // Moving a value between two neighbouring optionals must change the hash too.
  CDLookupRelease inDate = base;
  inDate.date = "GB";
  CDLookupRelease inCountry = base;
  inCountry.country = "GB";
  EXPECT_NE(hash(inDate), hash(inCountry));

  EXPECT_EQ(hash(base), hash(CDLookupRelease(base)));
  std::unordered_set<CDLookupRelease> set{base, withEmptyDate, base};
  EXPECT_EQ(set.size(), 2u);
}

TEST(Records, RipErrorTexts) {
  EXPECT_STREQ(CDRipError::readFailed(5).what(), "readFailed(5)");
  EXPECT_STREQ(CDRipError::readFailed(-22).what(), "readFailed(-22)");
  EXPECT_STREQ(CDRipError::deviceNotFound().what(), "deviceNotFound");
  EXPECT_STREQ(CDRipError::encodingFailed().what(), "encodingFailed");
  EXPECT_STREQ(CDRipError::noDiscPresent().what(), "noDiscPresent");
  EXPECT_EQ(CDRipError::readFailed(5).errorNumber(), 5);
  EXPECT_EQ(CDRipError::readFailed(5).kind(), CDRipError::Kind::readFailed);
}

}  // namespace
}  // namespace noru::disc
