#include "state/cd_rip_reducer.h"

#include <gtest/gtest.h>

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

TEST(CDRipReducer, DiscArrivalAndDeparture) {
  CDRipState before = importing();

  CDRipState inserted = reduce(before, discInserted{drive("drive-2"), twoTrackDisc()});
  CDRipState expected = before;
  expected.selectedDrive = drive("drive-2");
  expected.totalTracks = 2;
  expected.isLookingUp = false;
  expected.lookupDiscId.reset();
  expected.lookupReleases.clear();
  expected.selectedRelease.reset();
  expected.lookupError.reset();
  EXPECT_EQ(inserted, expected);

  EXPECT_EQ(reduce(before, discInsertedIfNew{drive("x"), CDDiscInfo{}}), before);

  CDRipState ejected = reduce(before, discEjected{"another-drive"});
  expected = before;
  expected.selectedDrive.reset();
  expected.discInfo.reset();
  expected.totalTracks = 0;
  expected.isRipping = false;
  expected.rippedFiles.clear();
  expected.ripOutputDirectory.reset();
  expected.isLookingUp = false;
  expected.lookupDiscId.reset();
  expected.lookupReleases.clear();
  expected.selectedRelease.reset();
  expected.lookupError.reset();
  EXPECT_EQ(ejected, expected) << "any id clears the disc; drives, progress, error stay";

  CDRipState updated = reduce(before, drivesUpdated{{drive("a"), drive("b")}});
  EXPECT_EQ(updated.drives.size(), 2u);
  EXPECT_EQ(updated.selectedDrive, before.selectedDrive) << "not checked against the new list";
}

TEST(CDRipReducer, LookupPhase) {
  CDRipState s = importing();
  s.isLookingUp = false;

  CDRipState looking = reduce(s, lookupDisc{CDDiscInfo{{{1, 0, 5}}, 5}});
  EXPECT_TRUE(looking.isLookingUp);
  EXPECT_FALSE(looking.lookupDiscId || looking.selectedRelease || looking.lookupError);
  EXPECT_TRUE(looking.lookupReleases.empty());
  EXPECT_EQ(looking.discInfo, s.discInfo) << "the looked-up info is not stored";

  for (std::size_t count : {0u, 3u}) {
    std::vector<CDLookupRelease> releases;
    for (std::size_t i = 0; i < count; ++i) {
      releases.push_back(release("r" + std::to_string(i)));
    }
    CDRipState done = reduce(looking, lookupSucceeded{"id", releases});
    EXPECT_FALSE(done.isLookingUp);
    EXPECT_EQ(done.lookupDiscId, "id");
    EXPECT_EQ(done.lookupReleases, releases);
    EXPECT_FALSE(done.selectedRelease) << count << " releases select nothing";
  }
  EXPECT_EQ(reduce(looking, lookupSucceeded{"id", {release("only")}}).selectedRelease,
            release("only"));

  CDRipState chosen = reduce(s, selectRelease{release("mine")});
  EXPECT_EQ(reduce(chosen, lookupSucceeded{"id", {release("a"), release("b")}}).selectedRelease,
            release("mine"))
      << "a choice made without a new lookup is kept";

  CDRipState failed = reduce(looking, lookupFailed{"offline"});
  EXPECT_FALSE(failed.isLookingUp);
  EXPECT_EQ(failed.lookupError, "offline");
  EXPECT_EQ(reduce(failed, lookupSucceeded{"id", {}}).lookupError, std::nullopt);
}

TEST(CDRipReducer, ImportProgress) {
  CDRipState s = importing();

  CDRipState started = reduce(s, startRipping{});
  EXPECT_TRUE(started.isRipping);
  EXPECT_TRUE(started.rippedFiles.empty());
  EXPECT_FALSE(started.ripOutputDirectory || started.error);
  EXPECT_EQ(started.currentTrack, 2);
  EXPECT_EQ(started.trackProgress, 0.5) << "progress of the earlier import is not reset";
  EXPECT_EQ(started.overallProgress, 0.75);

  EXPECT_EQ(reduce(s, trackRipStarted{7}).currentTrack, 7);

  s.totalTracks = 10;
  CDRipState progressed = reduce(s, trackRipProgress{3, 0.5});
  EXPECT_EQ(progressed.trackProgress, 0.5);
  EXPECT_DOUBLE_EQ(progressed.overallProgress, 0.25);
  EXPECT_EQ(progressed.currentTrack, s.currentTrack);
  s.totalTracks = 0;
  progressed = reduce(s, trackRipProgress{3, 0.5});
  EXPECT_EQ(progressed.trackProgress, 0.5);
  EXPECT_EQ(progressed.overallProgress, 0.0);

  CDRipState completed = reduce(s, trackRipComplete{99, "/lib/A/B/02 Two.m4a"});
  EXPECT_EQ(completed.rippedFiles,
            (std::vector<std::filesystem::path>{"/lib/A/B/01 One.m4a", "/lib/A/B/02 Two.m4a"}));
}

TEST(CDRipReducer, ImportEndings) {
  const CDRipState s = importing();

  CDRipState complete = reduce(s, ripComplete{});
  EXPECT_FALSE(complete.isRipping);
  EXPECT_EQ(complete.overallProgress, 1.0);
  EXPECT_FALSE(complete.ripOutputDirectory);
  EXPECT_EQ(complete.rippedFiles, s.rippedFiles) << "a complete import keeps its files";

  CDRipState failed = reduce(s, ripFailed{"readFailed(5)"});
  EXPECT_FALSE(failed.isRipping);
  EXPECT_TRUE(failed.rippedFiles.empty());
  EXPECT_FALSE(failed.ripOutputDirectory);
  EXPECT_EQ(failed.error, "readFailed(5)");

  CDRipState confirmed = reduce(s, confirmStopRipping{});
  EXPECT_FALSE(confirmed.isRipping);
  EXPECT_TRUE(confirmed.rippedFiles.empty());
  EXPECT_FALSE(confirmed.ripOutputDirectory);
  EXPECT_EQ(confirmed.error, s.error);

  CDRipState closed = reduce(s, ejectAndClose{"drive-1"});
  EXPECT_FALSE(closed.isRipping);
  EXPECT_TRUE(closed.rippedFiles.empty());
  EXPECT_EQ(closed.ripOutputDirectory, s.ripOutputDirectory);

  CDRipState stopped = reduce(s, ripStopped{});
  CDRipState expected = s;
  expected.isRipping = false;
  EXPECT_EQ(stopped, expected) << "a stop keeps the list of files";

  EXPECT_EQ(reduce(s, stopRipping{}), s);
  EXPECT_EQ(reduce(s, ejectDisc{"drive-1"}), s);
  EXPECT_FALSE(reduce(s, dismiss{}).error);
}

TEST(CDRipReducer, SimulatedDiscInjectAndClear) {
  CDRipState s = importing();
  CDRipState injected = reduce(s, debugInjectUnknownDisc{});

  const CDDrive debugDrive{"debug-drive", "Debug DVD Drive", "disk9", true};
  EXPECT_TRUE(injected.isDebugMode);
  EXPECT_EQ(injected.drives, std::vector<CDDrive>{debugDrive});
  EXPECT_EQ(injected.selectedDrive, debugDrive);
  ASSERT_TRUE(injected.discInfo);
  const auto& tracks = injected.discInfo->tracks;
  ASSERT_EQ(tracks.size(), 14u);
  EXPECT_EQ(tracks[0], (disc::CDTrackInfo{1, 0, 14249}));
  EXPECT_EQ(tracks[6].sectorCount, 5334);
  EXPECT_EQ(tracks[1].startSector, 14249);
  EXPECT_EQ(tracks[13].number, 14);
  EXPECT_EQ(injected.discInfo->totalSectors, 195975);
  EXPECT_EQ(tracks[13].startSector + tracks[13].sectorCount, 195975);
  EXPECT_EQ(injected.totalTracks, 14);
  EXPECT_FALSE(injected.isLookingUp);
  EXPECT_EQ(injected.lookupDiscId, "DEBUG+UNKNOWN+DISC+123456+ABCDEF");
  EXPECT_TRUE(injected.lookupReleases.empty());
  EXPECT_FALSE(injected.selectedRelease || injected.lookupError);
  EXPECT_EQ(injected.isRipping, s.isRipping);
  EXPECT_EQ(injected.rippedFiles, s.rippedFiles);
  EXPECT_EQ(injected.error, s.error);

  CDRipState cleared = reduce(injected, debugClearDisc{});
  EXPECT_EQ(cleared, initialCDRipState());
  EXPECT_TRUE(cleared.drives.empty());
  EXPECT_FALSE(cleared.isDebugMode);
}

TEST(CDRipReducer, OtherActionTypesLeaveTheStateAlone) {
  const CDRipState s = importing();
  EXPECT_EQ(reduceCDRip(s, AnyAction{UIAction{UIActions::setCDRipSheetPresented{true}}}), s);
  EXPECT_EQ(reduceCDRip(s, AnyAction{ApplicationAction{}}), s);
  EXPECT_EQ(reduceCDRip(s, AnyAction{MusicAction{}}), s);
}

}  // namespace
}  // namespace noru::state
