#include "state/cd_rip_reducer.h"
#include "state/app_reducer.h"

#include <gtest/gtest.h>

#include <functional>

#include "state/simulated_disc.h"

namespace noru::state {
namespace {

using namespace CDRipActions;
using disc::CDDiscInfo;
using disc::CDDrive;
using disc::CDLookupRelease;

CDDrive drive(const std::string& id = "drive-1") {
  return CDDrive{id, "Drive", "sr0", true};
}

CDLookupRelease release(const std::string& id) {
  return CDLookupRelease{.id = id, .title = "Album " + id, .artistCredit = "Artist"};
}

const accuraterip::TrackVerification kAccurate =
    accuraterip::Accurate{12, accuraterip::ChecksumVersion::v2};

// A state in the middle of an import of a looked-up disc, with every field away from its
// initial value.
CDRipState importing() {
  CDRipState s;
  s.drives = {drive()};
  s.selectedDrive = drive();
  s.discInfo = CDDiscInfo{{{1, 0, 15000}, {2, 15000, 15000}}, 30000};
  s.isRipping = true;
  s.currentTrack = 2;
  s.totalTracks = 2;
  s.trackProgress = 0.5;
  s.tracksRead = 1.5;
  s.overallProgress = 0.625;
  s.rippedFiles = {"/lib/A/B/01 One.m4a"};
  s.lastImport = ImportOutcomes::running{{{1, kAccurate}}};
  s.ripOutputDirectory = "/lib/A/B";
  s.error = "old";
  s.isLookingUp = true;
  s.lookupDiscId = "disc";
  s.lookupReleases = {release("r1"), release("r2")};
  s.selectedRelease = release("r2");
  s.lookupError = "lookup";
  return s;
}

// Each action, applied to a state in the middle of an import, changes its own fields and no
// other.
TEST(CDRipReducer, EachActionChangesItsFieldsAndNoOther) {
  const CDRipState s = importing();
  const CDDiscInfo oneTrack{{{1, 0, 5}}, 5};
  const std::vector<CDLookupRelease> three = {release("a"), release("b"), release("c")};
  const auto clearLookup = [](CDRipState& e) {
    e.isLookingUp = false;
    e.lookupDiscId.reset();
    e.lookupReleases.clear();
    e.selectedRelease.reset();
    e.lookupError.reset();
  };
  const auto forgetImport = [](CDRipState& e) {
    e.isRipping = false;
    e.rippedFiles.clear();
    e.ripOutputDirectory.reset();
  };
  const auto stopped = [&](CDRipState& e) {
    forgetImport(e);
    e.lastImport = ImportOutcomes::stopped{};
  };
  const auto answered = [](CDRipState& e, const std::vector<CDLookupRelease>& releases) {
    e.isLookingUp = false;
    e.lookupDiscId = "id";
    e.lookupReleases = releases;
    e.lookupError.reset();
  };
  const struct {
    CDRipAction action;
    std::function<void(CDRipState&)> change;  // none: the state stays as it was
  } cases[] = {
      // The selection is not checked against the new list.
      {drivesUpdated{{drive("a"), drive("b")}},
       [](auto& e) {
         e.drives = {drive("a"), drive("b")};
       }},
      {discInserted{drive("drive-2"), oneTrack},
       [&](auto& e) {
         e.selectedDrive = drive("drive-2");
         e.discInfo = oneTrack;
         e.totalTracks = 1;
         clearLookup(e);
       }},
      {discInsertedIfNew{drive("x"), oneTrack}, nullptr},
      // Any id clears the disc; the drives, the progress and the error stay.
      {discEjected{"another-drive"},
       [&](auto& e) {
         e.selectedDrive.reset();
         e.discInfo.reset();
         e.totalTracks = 0;
         stopped(e);
         clearLookup(e);
       }},
      {trackRipStarted{7}, [](auto& e) { e.currentTrack = 7; }},
      // Overall: 1.25 tracks read and one file in place, each track's read and file a half.
      {trackRipProgress{2, 0.25},
       [](auto& e) {
         e.trackProgress = 0.25;
         e.tracksRead = 1.25;
         e.overallProgress = 2.25 / 4;
       }},
      {trackRipComplete{99, "/lib/A/B/02 Two.m4a"},
       [](auto& e) {
         e.rippedFiles.push_back("/lib/A/B/02 Two.m4a");
         e.overallProgress = 3.5 / 4;
       }},
      {trackVerified{2, accuraterip::NotAccurate{}},
       [](auto& e) {
         e.lastImport = ImportOutcomes::running{{{1, kAccurate}, {2, accuraterip::NotAccurate{}}}};
       }},
      {trackDamaged{1, {{7, 2}}},
       [](auto& e) {
         std::get<ImportOutcomes::running>(e.lastImport).damage = {{1, {{7, 2}}}};
       }},
      {ripFailed{"readFailed(5)"},
       [&](auto& e) {
         forgetImport(e);
         e.error = "readFailed(5)";
         e.lastImport = ImportOutcomes::failed{"readFailed(5)"};
       }},
      {ejectDisc{"drive-1"}, nullptr},
      {ejectAndClose{"drive-1"},
       [](auto& e) {
         e.isRipping = false;
         e.rippedFiles.clear();
         e.lastImport = ImportOutcomes::stopped{};
       }},
      // The looked-up info is not stored.
      {lookupDisc{oneTrack},
       [&](auto& e) {
         clearLookup(e);
         e.isLookingUp = true;
       }},
      // Only a single release is selected; otherwise the choice made before stays.
      {lookupSucceeded{"id", three}, [&](auto& e) { answered(e, three); }},
      {lookupSucceeded{"id", {}}, [&](auto& e) { answered(e, {}); }},
      {lookupSucceeded{"id", {release("only")}},
       [&](auto& e) {
         answered(e, {release("only")});
         e.selectedRelease = release("only");
       }},
      {lookupFailed{"offline"},
       [](auto& e) {
         e.isLookingUp = false;
         e.lookupError = "offline";
       }},
      {selectRelease{release("mine")}, [](auto& e) { e.selectedRelease = release("mine"); }},
      // The progress of the earlier import stays; a complete import keeps its files, and so does
      // a stop.
      {startRipping{},
       [](auto& e) {
         e.isRipping = true;
         e.rippedFiles.clear();
         e.ripOutputDirectory.reset();
         e.error.reset();
         e.tracksRead = 0.0;
         e.lastImport = ImportOutcomes::running{};
       }},
      {stopRipping{}, nullptr},
      {confirmStopRipping{}, stopped},
      {ripComplete{},
       [](auto& e) {
         e.isRipping = false;
         e.overallProgress = 1.0;
         e.ripOutputDirectory.reset();
         e.lastImport = ImportOutcomes::completed{{{1, kAccurate}}};
       }},
      {ripStopped{},
       [](auto& e) {
         e.isRipping = false;
         e.lastImport = ImportOutcomes::stopped{};
       }},
      // A start that never came to be (no library folder chosen) is no stop.
      {ripNotStarted{},
       [](auto& e) {
         e.isRipping = false;
         e.lastImport = ImportOutcomes::none{};
       }},
      {dismiss{}, [](auto& e) { e.error.reset(); }},
      // The import's fields stay.
      {debugInjectUnknownDisc{},
       [&](auto& e) {
         const CDDrive debugDrive{"debug-drive", "Debug DVD Drive", "disk9", true};
         clearLookup(e);
         e.isDebugMode = true;
         e.drives = {debugDrive};
         e.selectedDrive = debugDrive;
         e.discInfo = simulatedDiscInfo();
         e.totalTracks = 14;
         e.lookupDiscId = "DEBUG+UNKNOWN+DISC+123456+ABCDEF";
       }},
      {debugClearDisc{}, [](auto& e) { e = initialCDRipState(); }},
  };
  for (const auto& [action, change] : cases) {
    SCOPED_TRACE(::testing::Message() << "action " << action.index());
    CDRipState expected = s;
    if (change) {
      change(expected);
    }
    EXPECT_EQ(reduceCDRip(s, AnyAction{action}), expected);
  }

  // A track read again moves its own bar only.
  const auto again = reduceCDRip(s, CDRipAction{trackRipStarted{1, true}});
  EXPECT_TRUE(again.readingAgain);
  EXPECT_EQ(reduceCDRip(again, CDRipAction{trackRipProgress{1, 0.5}}).overallProgress,
            s.overallProgress);

  // Track 1's file is written while track 2 is read; the overall bar counts both.
  CDRipState overlapped = s;
  overlapped.rippedFiles.clear();
  const std::pair<CDRipAction, double> steps[] = {
      {trackRipProgress{1, 1.0}, 0.25},  {trackRipStarted{2}, 0.25},
      {trackRipProgress{2, 0.5}, 0.375}, {trackRipComplete{1, "01.m4a"}, 0.625},
      {trackRipProgress{2, 1.0}, 0.75},  {trackRipComplete{2, "02.m4a"}, 1.0}};
  for (const auto& [action, overall] : steps) {
    overlapped = reduceCDRip(overlapped, action);
    EXPECT_EQ(overlapped.overallProgress, overall) << action.index();
  }
  EXPECT_EQ(overlapped.currentTrack, 2);

  CDRipState noTracks = s;
  noTracks.totalTracks = 0;
  EXPECT_EQ(reduceCDRip(noTracks, CDRipAction{trackRipProgress{2, 0.25}}).overallProgress, 0.0);
}

// A finished import is told of until another disc is shown; a failure until it is dismissed.
TEST(CDRipReducer, TheLastImportIsToldOfUntilAnotherDiscOrADismiss) {
  const CDDiscInfo shown{{{1, 0, 75}}, 75};
  const CDDiscInfo another{{{1, 0, 76}}, 76};
  const ImportOutcome none = ImportOutcomes::none{};
  const ImportOutcome completed = ImportOutcomes::completed{{{1, kAccurate}}};
  const ImportOutcome failed = ImportOutcomes::failed{"readFailed(5)"};
  const struct {
    ImportOutcome before;
    CDRipAction action;
    ImportOutcome after;
  } cases[] = {
      {completed, discInserted{drive(), shown}, completed},
      {completed, discInserted{drive(), another}, none},
      {completed, debugInjectUnknownDisc{}, none},
      {ImportOutcomes::stopped{}, discInserted{drive(), another}, none},
      {failed, discInserted{drive(), another}, failed},
      {failed, dismiss{}, none},
      {completed, trackVerified{1, accuraterip::NotAccurate{}}, completed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "action " << c.action.index());
    CDRipState s;
    s.discInfo = shown;
    s.lastImport = c.before;
    EXPECT_EQ(reduceCDRip(s, AnyAction{c.action}).lastImport, c.after);
  }
}

// The application's reducer hands each kind of action to its own part of the state.
TEST(AppReducer, EachActionTypeTouchesOnlyItsOwnPart) {
  AppState s;
  s.cdRip = importing();
  s.settings.libraryPath = "/music";
  s.ui.isCDManualEntryPresented = true;
  EXPECT_EQ(AppState{}.cdRip, initialCDRipState());
  EXPECT_EQ(reduceCDRip(s.cdRip, AnyAction{UIAction{UIActions::setCDRipSheetPresented{true}}}),
            s.cdRip);
  EXPECT_EQ(reduceApp(s, ApplicationAction{ApplicationActions::didLaunch{}}), s);
  EXPECT_EQ(reduceApp(s, MusicAction{MusicActions::initLibrary{}}), s);

  AppState expected = s;
  expected.cdRip = reduceCDRip(s.cdRip, CDRipAction{ripComplete{}});
  EXPECT_EQ(reduceApp(s, CDRipAction{ripComplete{}}), expected);

  expected = s;
  expected.ui.isCDRipSheetPresented = true;
  EXPECT_EQ(reduceApp(s, UIAction{UIActions::setCDRipSheetPresented{true}}), expected);
  expected.ui.isCDRipSheetPresented = false;
  expected.ui.isCDManualEntryPresented = false;
  EXPECT_EQ(reduceApp(s, UIAction{UIActions::setCDManualEntryPresented{false}}), expected);

  // The bookmark is not kept in the state.
  expected = s;
  expected.settings.libraryPath = "";
  EXPECT_EQ(reduceApp(s, UIAction{UIActions::setOutputFolder{"", {{1, 2, 3}}}}), expected);
}

}  // namespace
}  // namespace noru::state
