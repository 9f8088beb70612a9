#include "state/cd_rip_reducer.h"

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

CDDiscInfo twoTrackDisc() {
  return CDDiscInfo{{{1, 0, 15000}, {2, 15000, 15000}}, 30000};
}

CDLookupRelease release(const std::string& id) {
  return CDLookupRelease{.id = id, .title = "Album " + id, .artistCredit = "Artist"};
}

CDRipState reduce(const CDRipState& s, CDRipAction a) {
  return reduceCDRip(s, AnyAction{a});
}

// A state in the middle of an import of a looked-up disc, with every field away from its
// initial value.
CDRipState importing() {
  CDRipState s;
  s.drives = {drive()};
  s.selectedDrive = drive();
  s.discInfo = twoTrackDisc();
  s.isRipping = true;
  s.currentTrack = 2;
  s.totalTracks = 2;
  s.trackProgress = 0.5;
  s.overallProgress = 0.75;
  s.rippedFiles = {"/lib/A/B/01 One.m4a"};
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
      {drivesUpdated{{drive("a"), drive("b")}},
       [](auto& e) {
         e.drives = {drive("a"), drive("b")};
       }},  // the selection is not checked
      {discInserted{drive("drive-2"), oneTrack},
       [&](auto& e) {
         e.selectedDrive = drive("drive-2");
         e.discInfo = oneTrack;
         e.totalTracks = 1;
         clearLookup(e);
       }},
      {discInsertedIfNew{drive("x"), oneTrack}, nullptr},
      {discEjected{"another-drive"},  // any id clears the disc; drives, progress, error stay
       [&](auto& e) {
         e.selectedDrive.reset();
         e.discInfo.reset();
         e.totalTracks = 0;
         forgetImport(e);
         clearLookup(e);
       }},
      {trackRipStarted{7}, [](auto& e) { e.currentTrack = 7; }},
      {trackRipProgress{2, 0.25},
       [](auto& e) {
         e.trackProgress = 0.25;
         e.overallProgress = 0.625;  // (2 - 1 + 0.25) / 2 tracks
       }},
      {trackRipComplete{99, "/lib/A/B/02 Two.m4a"},
       [](auto& e) { e.rippedFiles.push_back("/lib/A/B/02 Two.m4a"); }},
      {ripFailed{"readFailed(5)"},
       [&](auto& e) {
         forgetImport(e);
         e.error = "readFailed(5)";
       }},
      {ejectDisc{"drive-1"}, nullptr},
      {ejectAndClose{"drive-1"},
       [](auto& e) {
         e.isRipping = false;
         e.rippedFiles.clear();
       }},
      {lookupDisc{oneTrack},  // the looked-up info is not stored
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
      {startRipping{},  // the progress of the earlier import stays
       [](auto& e) {
         e.isRipping = true;
         e.rippedFiles.clear();
         e.ripOutputDirectory.reset();
         e.error.reset();
       }},
      {stopRipping{}, nullptr},
      {confirmStopRipping{}, forgetImport},
      {ripComplete{},  // a complete import keeps its files
       [](auto& e) {
         e.isRipping = false;
         e.overallProgress = 1.0;
         e.ripOutputDirectory.reset();
       }},
      {ripStopped{}, [](auto& e) { e.isRipping = false; }},  // a stop keeps the list of files
      {dismiss{}, [](auto& e) { e.error.reset(); }},
      {debugInjectUnknownDisc{},  // the import's fields stay
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
    EXPECT_EQ(reduce(s, action), expected);
  }

  CDRipState noTracks = s;
  noTracks.totalTracks = 0;
  EXPECT_EQ(reduce(noTracks, trackRipProgress{2, 0.25}).overallProgress, 0.0);
}

// Fourteen tracks of set lengths, each cut down to whole sectors, one after the other.
TEST(CDRipReducer, SimulatedDiscInjectAndClear) {
  const CDRipState injected = reduce(importing(), debugInjectUnknownDisc{});
  ASSERT_TRUE(injected.discInfo);
  const auto& tracks = injected.discInfo->tracks;
  ASSERT_EQ(tracks.size(), 14u);
  EXPECT_EQ(tracks[0], (disc::CDTrackInfo{1, 0, 14249}));
  EXPECT_EQ(tracks[6].sectorCount, 5334);
  EXPECT_EQ(tracks[1].startSector, 14249);
  EXPECT_EQ(tracks[13].number, 14);
  EXPECT_EQ(injected.discInfo->totalSectors, 195975);
  EXPECT_EQ(tracks[13].startSector + tracks[13].sectorCount, 195975);
  EXPECT_EQ(reduce(injected, debugClearDisc{}), initialCDRipState());
}

TEST(CDRipReducer, OtherActionTypesLeaveTheStateAlone) {
  const CDRipState s = importing();
  EXPECT_EQ(reduceCDRip(s, AnyAction{UIAction{UIActions::setCDRipSheetPresented{true}}}), s);
  EXPECT_EQ(reduceCDRip(s, AnyAction{ApplicationAction{}}), s);
  EXPECT_EQ(reduceCDRip(s, AnyAction{MusicAction{}}), s);
}

}  // namespace
}  // namespace noru::state
