#include "rip/track_file_name.h"

#include <gtest/gtest.h>

namespace noru::rip {
namespace {

using namespace std::string_literals;

TEST(TrackFileName, CleansTheTitleAndPadsTheNumber) {
  struct Case {
    std::int64_t number;
    std::optional<std::string> title;
    std::string name;
  };
  const Case cases[] = {
      {7, "AC/DC: Live?", "07 AC_DC_ Live_.m4a"},
      {1, "  Intro  ", "01 Intro.m4a"},
      {12, std::nullopt, "Track 12.m4a"},
      {100, std::nullopt, "Track 100.m4a"},
      {1, "***", "01 ___.m4a"},
      {1, "   ", "01 .m4a"},
      {4, "a\\b\"c<d>e|f", "04 a_b_c_d_e_f.m4a"},
      {2, "\t\u00A0\u2003Song\u3000\u202F", "02 Song.m4a"},
      {2, "Line\n", "02 Line\n.m4a"},
      {5, "A\0B\0"s, "05 AB.m4a"},
      {6, " \0 Nul"s, "06 Nul.m4a"},
  };
  for (const auto& [number, title, name] : cases) {
    EXPECT_EQ(trackFileName(number, title), name) << number << " " << title.value_or("(none)");
  }
}

std::string repeated(const std::string& text, std::size_t count) {
  std::string result;
  for (std::size_t i = 0; i < count; ++i) {
    result += text;
  }
  return result;
}

// A Linux file name holds 255 bytes: 248 of them are left for the title between "01 " and
// ".m4a", and a cut must not split a character.
TEST(TrackFileName, ShortensALongTitleAtACharacterBoundary) {
  struct Case {
    std::string character;
    std::size_t count;
    std::size_t kept;
  };
  for (const auto& [character, count, kept] : {Case{"\u65E5", 100, 82}, Case{"\U0001F3B5", 75, 62},
                                               Case{"a", 248, 248}, Case{"a", 249, 248}}) {
    EXPECT_EQ(trackFileName(1, repeated(character, count)),
              "01 " + repeated(character, kept) + ".m4a")
        << count << " x " << character;
  }
  // A cut that lands just after a blank drops the blank too.
  EXPECT_EQ(trackFileName(1, repeated("a", 247) + " bc"), "01 " + repeated("a", 247) + ".m4a");
}

}  // namespace
}  // namespace noru::rip
