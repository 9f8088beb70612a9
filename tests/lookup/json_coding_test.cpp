#include "lookup/json_coding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace noru::lookup {
namespace {

// Underscores at either end of a member name belong to the name; only inner ones start a word.
TEST(SnakeCase, MemberNamesLoseInnerUnderscoresAndKeepOuterOnes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"release_group_mbid", "releaseGroupMbid"},
      {"releaseMbid", "releaseMbid"},
      {"__both_ends__", "__bothEnds__"},
      {"double__underscore", "doubleUnderscore"},
      {"a_1", "a1"},
      {"___", "___"},
  };
  for (const auto& [member, field] : cases) {
    EXPECT_EQ(fromSnakeCase(member), field) << member;
  }
}

TEST(JsonCoding, RefusesToEncodeTextsThatAreNotUtf8) {
  EXPECT_THROW(encodeCompact({{"artist", "\xFF\xFE"}}), EncodingError);
}

}  // namespace
}  // namespace noru::lookup
