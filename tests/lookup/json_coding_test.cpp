#include "lookup/json_coding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noru::lookup {
namespace {

TEST(SnakeCase, FieldNamesGetAnUnderscoreBeforeEachCapital) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"firstTrack", "first_track"},
      {"leadOutOffset", "lead_out_offset"},
      {"trackDurationsMs", "track_durations_ms"},
      {"caaReleaseMbid", "caa_release_mbid"},
      {"artist", "artist"},
      {"", ""},
  };
  for (const auto& [field, member] : cases) {
    EXPECT_EQ(toSnakeCase(field), member) << field;
  }
}

TEST(SnakeCase, MemberNamesLoseInnerUnderscoresAndKeepOuterOnes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"disc_id", "discId"},
      {"release_group_mbid", "releaseGroupMbid"},
      {"releaseMbid", "releaseMbid"},
      {"title", "title"},
      {"_private", "_private"},
      {"trailing_", "trailing_"},
      {"__both_ends__", "__bothEnds__"},
      {"double__underscore", "doubleUnderscore"},
      {"a_1", "a1"},
      {"___", "___"},
      {"", ""},
  };
  for (const auto& [member, field] : cases) {
    EXPECT_EQ(fromSnakeCase(member), field) << member;
  }
}

TEST(JsonCoding, EncodesCompactlyAndRefusesTextsThatAreNotUtf8) {
  EXPECT_EQ(encodeCompact({{"a", 1}, {"b", {1, 2}}, {"c", " x "}}),
            "{\"a\":1,\"b\":[1,2],\"c\":\" x \"}");
  EXPECT_THROW(encodeCompact({{"artist", "\xFF\xFE"}}), EncodingError);
}

}  // namespace
}  // namespace noru::lookup
