#include "state/app_reducer.h"

#include <gtest/gtest.h>

namespace noru::state {
namespace {

AppState reduce(const AppState& s, AnyAction a) {
  return reduceApp(s, a);
}

AppState sample() {
  AppState s;
  s.cdRip.drives = {disc::CDDrive{"d", "Drive", "sr0", false}};
  s.settings.libraryPath = "/music";
  s.ui.isCDManualEntryPresented = true;
  return s;
}

TEST(AppReducer, UIFlagsAndLibraryFolder) {
  const AppState s = sample();

  AppState sheet = reduce(s, UIAction{UIActions::setCDRipSheetPresented{true}});
  EXPECT_TRUE(sheet.ui.isCDRipSheetPresented);
  EXPECT_EQ(reduce(sheet, UIAction{UIActions::setCDRipSheetPresented{true}}), sheet);

  AppState manual = reduce(s, UIAction{UIActions::setCDManualEntryPresented{false}});
  EXPECT_FALSE(manual.ui.isCDManualEntryPresented);
  EXPECT_EQ(manual.settings, s.settings);
  EXPECT_EQ(manual.cdRip, s.cdRip);

  AppState withBookmark = reduce(s, UIAction{UIActions::setOutputFolder{"/new", {{1, 2, 3}}}});
  AppState without = reduce(s, UIAction{UIActions::setOutputFolder{"/new", std::nullopt}});
  EXPECT_EQ(withBookmark.settings.libraryPath, "/new");
  EXPECT_EQ(withBookmark, without) << "the bookmark is not kept in the state";
  EXPECT_EQ(withBookmark.ui, s.ui);

  AppState empty = reduce(s, UIAction{UIActions::setOutputFolder{"", std::nullopt}});
  EXPECT_EQ(empty.settings.libraryPath, std::optional<std::string>(""));
}

TEST(AppReducer, EachActionTypeTouchesOnlyItsOwnPart) {
  EXPECT_EQ(AppState{}.cdRip, initialCDRipState());
  const AppState s = sample();
  EXPECT_EQ(reduce(s, ApplicationAction{ApplicationActions::didLaunch{}}), s);
  EXPECT_EQ(reduce(s, MusicAction{MusicActions::initLibrary{}}), s);

  AppState ripped = reduce(s, CDRipAction{CDRipActions::debugInjectUnknownDisc{}});
  EXPECT_NE(ripped.cdRip, s.cdRip);
  EXPECT_EQ(ripped.ui, s.ui);
  EXPECT_EQ(ripped.settings, s.settings);
}

}  // namespace
}  // namespace noru::state
