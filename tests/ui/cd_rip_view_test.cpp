#include "ui/cd_rip_view.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>

#include "support/test_http_server.h"
#include "ui/view_test.h"

namespace noru::ui {
namespace {

using namespace state::CDRipActions;
using state::AnyAction;
using testing::findNamed;
using testing::visibleTexts;

const QString kTitle = QStringLiteral("Import CD to Noru");
const QString kComplete = QStringLiteral("Import complete. Eject the disc or insert another.");

AnyAction rip(state::CDRipAction action) {
  return AnyAction{std::move(action)};
}

const disc::CDDrive kEmptyDrive{"d0", "Empty Drive", "", false};
const disc::CDDrive kLoadedDrive{"d1", "Loaded Drive", "sr1", true};

// `count` tracks of one minute each.
disc::CDDiscInfo discOf(int count) {
  disc::CDDiscInfo info;
  for (int i = 0; i < count; ++i) {
    info.tracks.push_back({i + 1, i * 4500, 4500});
  }
  info.totalSectors = count * 4500;
  return info;
}

disc::CDLookupRelease release(std::string id, std::optional<std::string> date = {},
                              std::optional<std::string> country = {}) {
  disc::CDLookupRelease r{.id = id, .title = "Album", .artistCredit = "Artist"};
  r.date = std::move(date);
  r.country = std::move(country);
  r.tracks = {{.number = 1, .title = "One"}, {.number = 2, .title = "Two"}};
  return r;
}

const disc::CDLookupRelease kFull = release("r1", "1999", "GB");
const disc::CDLookupRelease kBare = release("r2");

// A loaded drive with a three-track disc, then `more`.
std::vector<AnyAction> loaded(std::vector<AnyAction> more) {
  std::vector<AnyAction> actions{rip(drivesUpdated{{kEmptyDrive, kLoadedDrive}}),
                                 rip(discInserted{kLoadedDrive, discOf(3)})};
  actions.insert(actions.end(), more.begin(), more.end());
  return actions;
}

// A ten-track import in progress, then `more`.
std::vector<AnyAction> importing(std::vector<AnyAction> more) {
  std::vector<AnyAction> actions{rip(drivesUpdated{{kLoadedDrive}}),
                                 rip(discInserted{kLoadedDrive, discOf(10)}), rip(startRipping{})};
  actions.insert(actions.end(), more.begin(), more.end());
  return actions;
}

class CDRipViewTest : public testing::ViewTest {
 protected:
  // The visible buttons, pickers and bars, by accessible name.
  QStringList controls() const {
    QStringList names;
    for (QWidget* widget : view->findChildren<QWidget*>()) {
      if ((qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
           qobject_cast<QProgressBar*>(widget)) &&
          widget->isVisibleTo(view.get())) {
        names << widget->accessibleName();
      }
    }
    names.sort();
    return names;
  }

  QMessageBox* openAlert() const {
    for (auto* alert : view->findChildren<QMessageBox*>()) {
      if (alert->isVisible()) {
        return alert;
      }
    }
    return nullptr;
  }

  noru::testing::TestHttpServer server;
  std::unique_ptr<CDRipView> view =
      std::make_unique<CDRipView>(store, ViewServices{.coverArtArchiveBaseURL = server.url()});
};

struct StateCase {
  const char* name;
  std::vector<AnyAction> actions;
  QStringList texts;     // every visible label, in any order
  QStringList controls;  // every visible control
  bool importEnabled = true;
  friend void PrintTo(const StateCase& c, std::ostream* out) { *out << c.name; }
};

class CDRipViewStateTest : public CDRipViewTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(CDRipViewStateTest, ShowsWhatTheStateHolds) {
  const auto sorted = [](QStringList list) {
    list.sort();
    return list;
  };
  reduce(GetParam().actions);
  EXPECT_EQ(sorted(visibleTexts(*view)), sorted(GetParam().texts + QStringList{kTitle}));
  EXPECT_EQ(controls(), sorted(GetParam().controls));
  if (auto* import = findNamed<QAbstractButton>(*view, "Import Disc")) {
    EXPECT_EQ(import->isEnabled(), GetParam().importEnabled);
  }
}

const QString kSummary3 = QStringLiteral("3 audio tracks");
const QString kDuration3 = QStringLiteral("Total duration: 3:00");

INSTANTIATE_TEST_SUITE_P(
    CDRipViewStates, CDRipViewStateTest,
    ::testing::Values(
        StateCase{"NoDrives", {}, {"No optical drives detected."}, {"Import Disc"}, false},
        StateCase{"NoDisc",
                  {rip(drivesUpdated{{kEmptyDrive}})},
                  {"Insert a disc to get started."},
                  {"Import Disc"},
                  false},
        StateCase{"LookingUp",
                  loaded({rip(lookupDisc{discOf(3)})}),
                  {"Looking up disc...", kSummary3, kDuration3},
                  {"Eject", "Looking up disc...", "Import Disc"}},
        StateCase{"LookupFailed",
                  loaded({rip(lookupDisc{discOf(3)}), rip(lookupFailed{"Offline"})}),
                  {"Offline", kSummary3, kDuration3},
                  {"Eject", "Retry", "Add CD Details"}},
        StateCase{"SeveralReleases",
                  loaded({rip(lookupSucceeded{"id", {kFull, kBare}})}),
                  {"Multiple releases found", "Release", kSummary3, kDuration3},
                  {"Eject", "Release", "Import Disc"}},
        StateCase{"OneRelease",
                  loaded({rip(lookupSucceeded{"id", {kFull}})}),
                  {"Artist", "Album", "1999", "2 tracks", kSummary3, kDuration3},
                  {"Eject", "Import Disc"}},
        StateCase{"NoMatch",
                  loaded({rip(lookupSucceeded{"abc-", {}})}),
                  {"No match found \u2014 disc ID: abc-", kSummary3, kDuration3},
                  {"Eject", "Add CD Details"}},
        StateCase{"SimulatedDisc",
                  {rip(debugInjectUnknownDisc{})},
                  {"No match found \u2014 disc ID: DEBUG+UNKNOWN+DISC+123456+ABCDEF",
                   "14 audio tracks", "Total duration: 43:33"},
                  {"Eject", "Add CD Details"}},
        StateCase{"Importing",
                  importing({rip(trackRipStarted{3}), rip(trackRipProgress{3, 0.5})}),
                  {"10 audio tracks", "Total duration: 10:00", "Importing track 3 of 10...",
                   "Overall: 25%", "Current track: 50%"},
                  {"Eject", "Overall", "Current track", "Stop"}},
        StateCase{"Completed",
                  importing({rip(ripComplete{})}),
                  {"10 audio tracks", "Total duration: 10:00", kComplete},
                  {"Eject", "Add CD Details"}},
        StateCase{"Failed",
                  importing({rip(ripFailed{"Disc unreadable"})}),
                  {"10 audio tracks", "Total duration: 10:00", "Disc unreadable"},
                  {"Eject", "Dismiss", "Add CD Details"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ControlCase {
  const char* name;
  std::vector<AnyAction> actions;
  QString control;
  AnyAction dispatches;
  friend void PrintTo(const ControlCase& c, std::ostream* out) { *out << c.name; }
};

class CDRipViewControlTest : public CDRipViewTest,
                             public ::testing::WithParamInterface<ControlCase> {};

TEST_P(CDRipViewControlTest, DispatchesItsAction) {
  reduce(GetParam().actions);
  auto* button = findNamed<QAbstractButton>(*view, GetParam().control);
  ASSERT_NE(button, nullptr);
  button->click();
  EXPECT_EQ(dispatched, std::vector<AnyAction>{GetParam().dispatches});
}

INSTANTIATE_TEST_SUITE_P(
    CDRipViewControls, CDRipViewControlTest,
    ::testing::Values(
        ControlCase{"Eject", loaded({}), "Eject", rip(ejectAndClose{"d1"})},
        ControlCase{"Retry", loaded({rip(lookupFailed{"Offline"})}), "Retry",
                    rip(lookupDisc{discOf(3)})},
        ControlCase{"AddDetails", loaded({rip(lookupSucceeded{"id", {}})}), "Add CD Details",
                    AnyAction{state::UIAction{state::UIActions::setCDManualEntryPresented{true}}}},
        ControlCase{"Import", loaded({rip(lookupSucceeded{"id", {kFull}})}), "Import Disc",
                    rip(startRipping{})},
        ControlCase{"Dismiss", importing({rip(ripFailed{"x"})}), "Dismiss", rip(dismiss{})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CDRipViewTest, PickerListsReleasesAndSelectsTheChosenOne) {
  reduce(loaded({rip(lookupSucceeded{"id", {kFull, kBare}})}));
  auto* picker = findNamed<QComboBox>(*view, "Release");
  ASSERT_NE(picker, nullptr);
  ASSERT_EQ(picker->count(), 2);
  EXPECT_EQ(picker->itemText(0), QStringLiteral("Artist \u2014 Album (1999) [GB]"));
  EXPECT_EQ(picker->itemText(1), QStringLiteral("Artist \u2014 Album"));

  QTest::keyClick(picker, Qt::Key_Down);
  deliver();  // the picker follows the new state without choosing again
  EXPECT_EQ(dispatched, std::vector<AnyAction>{rip(selectRelease{kFull})});
  EXPECT_EQ(picker->currentIndex(), 0);
  EXPECT_TRUE(visibleTexts(*view).contains("1999"));
}

TEST_F(CDRipViewTest, StopAsksFirstAndOnlyTheConfirmationStops) {
  for (const bool confirm : {true, false}) {
    SCOPED_TRACE(confirm);
    reduce(importing({}));
    findNamed<QAbstractButton>(*view, "Stop")->click();
    auto* alert = openAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Stop Importing?");
    EXPECT_EQ(alert->text(),
              "This will stop the import and remove all files that have been imported so far.");
    EXPECT_TRUE(dispatched.empty());

    findNamed<QAbstractButton>(*alert, confirm ? "Stop and Remove Files" : "Cancel")->click();
    deliver();
    EXPECT_EQ(dispatched, confirm ? std::vector<AnyAction>{rip(confirmStopRipping{})}
                                  : std::vector<AnyAction>{});
    EXPECT_EQ(openAlert(), nullptr);
    EXPECT_FALSE(visibleTexts(*view).contains(kComplete));  // a stopped import is no success
    reduce({rip(ripStopped{})});
  }
}

TEST_F(CDRipViewTest, CoverOfAReleaseWithArchiveIdsIsFetched) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(Qt::red);
  QByteArray png;
  QBuffer buffer(&png);
  image.save(&buffer, "PNG");
  server.respond("GET", "/release/mbid-1/42-250.jpg", 200, png.toStdString(), "image/jpeg");
  disc::CDLookupRelease withCover = kFull;
  withCover.caaId = 42;
  withCover.caaReleaseMbid = "mbid-1";

  reduce(loaded({rip(lookupSucceeded{"id", {withCover}})}));
  EXPECT_TRUE(mainQueue.runUntil([&] {
    const auto* cover = findNamed<QLabel>(*view, "Cover art");
    return cover != nullptr && !cover->pixmap().isNull();
  }));
  reduce({rip(startRipping{})});  // another render asks no second time
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].path, "/release/mbid-1/42-250.jpg");
}

TEST_F(CDRipViewTest, ReleaseWithoutArchiveIdsShowsNoCoverAndAsksNothing) {
  reduce(loaded({rip(lookupSucceeded{"id", {kBare}})}));
  EXPECT_EQ(findNamed<QLabel>(*view, "Cover art"), nullptr);
  EXPECT_EQ(runner.liveThreadCount(), 0u);
  EXPECT_TRUE(server.requests().empty());
}

}  // namespace
}  // namespace noru::ui
