// The views over states made by the real reducer, beyond what the journeys show and click (the
// window as the program builds it, an import's usual states and controls, typed and found names).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTest>

#include <thread>

#include "platform/qt/qt_main_queue.h"
#include "state/app_reducer.h"
#include "support/runtime_fixture.h"
#include "support/test_http_server.h"
#include "ui/cd_manual_entry_view.h"
#include "ui/cd_rip_view.h"
#include "ui/import_end_notice.h"

void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace noru::ui {
namespace {

using namespace state::CDRipActions;
using state::AnyAction;
using Actions = std::vector<AnyAction>;
using Tracks = std::vector<std::pair<std::int64_t, std::string>>;  // (number, title), service order

AnyAction rip(state::CDRipAction action) {
  return AnyAction{std::move(action)};
}

struct RecordingMiddleware {
  Actions* dispatched;
  AnyAction handle(AnyAction action, const state::AppState&, const state::Dispatch&) {
    dispatched->push_back(action);
    return action;
  }
};

// A view sees a new state once the manual main queue has been pumped.
class ViewTest : public noru::testing::RuntimeFixture {
 protected:
  // Dispatches `actions` and delivers the new state; the recording starts afresh afterwards.
  void reduce(const Actions& actions) {
    for (const auto& action : actions) {
      store->dispatch(action);
    }
    mainQueue.runPending();
    dispatched.clear();
  }

  Actions dispatched;
  std::shared_ptr<state::AppStore> store = state::AppStore::make(
      state::AppState{}, state::reduceApp, {RecordingMiddleware{&dispatched}});
  noru::testing::TestHttpServer server;
};

disc::CDDiscInfo discOf(const std::vector<std::int32_t>& sectorCounts) {
  disc::CDDiscInfo disc;
  for (std::int32_t count : sectorCounts) {
    disc.tracks.push_back(
        {static_cast<std::int64_t>(disc.tracks.size() + 1), disc.totalSectors, count});
    disc.totalSectors += count;
  }
  return disc;
}

// The visible descendant of `root` of type W whose accessible name is `name`; null if none.
template <class W = QWidget>
W* findNamed(const QWidget& root, const QString& name) {
  for (W* widget : root.findChildren<W*>()) {
    if (widget->accessibleName() == name && widget->isVisibleTo(&root)) {
      return widget;
    }
  }
  return nullptr;
}

QStringList visibleTexts(const QWidget& root) {
  QStringList texts;
  for (const QLabel* label : root.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&root) && !label->text().isEmpty()) {
      texts << label->text();
    }
  }
  return texts;
}

// A thread waiting for a turn that never comes (the loop is not running here) is released when
// the application quits, and work posted after that is dropped.
TEST(QtMainQueue, ReleasesWaitersWhenClosedAndDropsLaterWork) {
  platform::qt::QtMainQueue queue;
  bool waited = true;
  std::thread waiter([&] { waited = queue.runAndWait([] {}); });
  queue.close();
  waiter.join();
  EXPECT_FALSE(waited);
  bool ran = false;
  queue.post([&] { ran = true; });
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
}

const disc::CDDrive kLoadedDrive{"d1", "Loaded Drive", "sr1", true};
const disc::CDLookupRelease kFull{
    .id = "r1", .title = "Album", .artistCredit = "Artist", .date = "1999", .country = "GB"};

// A loaded drive (beside an empty one) with a disc of `tracks` one-minute tracks, then `more`.
Actions loaded(int tracks, Actions more) {
  Actions actions{rip(drivesUpdated{{{"d0", "Empty Drive", "", false}, kLoadedDrive}}),
                  rip(discInserted{kLoadedDrive, discOf(std::vector(tracks, 4500))})};
  actions.insert(actions.end(), more.begin(), more.end());
  return actions;
}

class CDRipViewTest : public ViewTest {
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

  std::unique_ptr<CDRipView> view = std::make_unique<CDRipView>(
      store, ViewServices{.search = lookup::SearchCD(), .web = {.coverArtArchive = server.url()}});
};

TEST_F(CDRipViewTest, ShowsWhatTheStateHolds) {
  const QString three = "3 audio tracks", threeMinutes = "Total duration: 3:00";
  const QString ten = "10 audio tracks", tenMinutes = "Total duration: 10:00";
  const disc::CDLookupRelease bare{.id = "r2", .title = "Album", .artistCredit = "Artist"};
  const struct {
    const char* name;
    Actions actions;
    QStringList texts;     // every visible label, in any order, besides the title
    QStringList controls;  // every visible control, sorted
    bool importEnabled = true;
  } cases[] = {
      {"no drives", {}, {"No optical drives detected."}, {"Import Disc"}, false},
      {"looking up",
       loaded(3, {rip(lookupDisc{})}),
       {"Looking up disc...", three, threeMinutes},
       {"Eject", "Import Disc", "Looking up disc..."}},
      {"the second disc of a release",
       loaded(3, {rip(lookupSucceeded{"id", {{.id = "r3",
                                              .title = "Album",
                                              .artistCredit = "Artist",
                                              .tracks = {{1, "One", "Artist"}},
                                              .discNumber = 2,
                                              .discTotal = 2}}})}),
       {"Artist", "Album", "1 tracks", "Disc 2 of 2", three, threeMinutes},
       {"Eject", "Import Disc"}},
      {"several releases",
       loaded(3, {rip(lookupSucceeded{"id", {kFull, bare}})}),
       {"Multiple releases found", "Release", three, threeMinutes},
       {"Eject", "Import Disc", "Release"}},
      {"importing",
       loaded(
           10,
           {rip(startRipping{}), rip(trackRipStarted{3}), rip(trackRipProgress{3, 0.5}),
            rip(trackRipComplete{1, "01.m4a"}), rip(trackDamaged{2, {{1000, 30}, {4500, 1}}}),
            rip(trackVerified{
                1, accuraterip::Accurate{7, {}, accuraterip::Database::cueToolsDatabase}}),
            rip(trackVerified{
                2, accuraterip::Accurate{7, {}, accuraterip::Database::cueToolsDatabase, 6000}})}),
       {ten, tenMinutes, "Importing track 3 of 10...", "Overall: 17%", "Current track: 50%",
        "Track 1: accurate (CUETools database, confidence 7)\n"
        "Track 2: repaired (CUETools database, 6000 samples corrected, confidence 7)\n"
        "Track 2: damaged at 0:13.25–0:13.54, 1:00.00"},
       {"Current track", "Eject", "Overall", "Stop"}},
      {"complete with a damaged track",
       loaded(10, {rip(startRipping{}), rip(trackDamaged{2, {{1000, 30}}}), rip(ripComplete{})}),
       {ten, tenMinutes, "Import complete. Eject the disc or insert another.",
        "Track 2 damaged (file kept)"},
       {"Add CD Details", "Eject"}},
      {"failed",
       loaded(10, {rip(startRipping{}), rip(ripFailed{"Disc unreadable"})}),
       {ten, tenMinutes, "Disc unreadable"},
       {"Add CD Details", "Dismiss", "Eject"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reduce({rip(debugClearDisc{})});
    reduce(c.actions);
    auto texts = visibleTexts(*view);
    texts.sort();
    auto expected = c.texts + QStringList{"Import CD to Noru"};
    expected.sort();
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(controls(), c.controls);
    if (auto* import = findNamed<QAbstractButton>(*view, "Import Disc")) {
      EXPECT_EQ(import->isEnabled(), c.importEnabled);
    }
  }
}

TEST_F(CDRipViewTest, StopAsksFirstAndACancelStopsNothing) {
  reduce(loaded(10, {rip(startRipping{})}));
  findNamed<QAbstractButton>(*view, "Stop")->click();
  QPointer<QMessageBox> alert = view->findChild<QMessageBox*>();
  ASSERT_TRUE(alert && alert->isVisible());
  findNamed<QAbstractButton>(*alert, "Cancel")->click();
  mainQueue.runPending();
  EXPECT_TRUE(dispatched.empty());
  EXPECT_TRUE(!alert || !alert->isVisible());
}

// The desktop hears of an import that completes or fails while the window is not in front,
// when the user asked for it; not of a stop, nor when the notice is off.
TEST_F(ViewTest, TheDesktopHearsOfAnImportsEndOnlyWhenAskedAndTheWindowIsNotInFront) {
  QWidget window;  // never shown, so never the active window
  QStringList heard;
  ImportEndNotice notice(store, window, [&](const QString& summary, const QString& body) {
    heard << summary + ": " + body;
  });
  const auto asked = [](bool notify) {
    return AnyAction{
        state::UIAction(state::UIActions::setImportPreferences{{.notifyWhenInactive = notify}})};
  };
  const struct {
    bool notify;
    AnyAction end;
    QStringList heard;
  } cases[] = {
      {true, rip(ripComplete{}), {"Import complete: The disc is in your library."}},
      {true, rip(ripFailed{"Disc unreadable"}), {"Import failed: Disc unreadable"}},
      {true, rip(ripStopped{}), {}},
      {false, rip(ripComplete{}), {}},
  };
  for (const auto& c : cases) {
    heard.clear();
    reduce(loaded(2, {asked(c.notify), rip(startRipping{})}));
    reduce({c.end});
    EXPECT_EQ(heard, c.heard);
  }
}

// The search service's answer with one release of `tracks`, with cover identifiers or without.
std::string searchAnswer(const Tracks& tracks, bool withCover = false) {
  std::string list;
  for (const auto& [number, title] : tracks) {
    const std::string n = std::to_string(number);
    list += std::string(list.empty() ? "" : ",") + R"({"number":)" + n + R"(,"title":")" + title +
            R"(","artist_credit":"Ann","length_ms":1000,"recording_mbid":"rec)" + n + R"("})";
  }
  return R"({"releases":[{"release_mbid":"mbid","release_group_mbid":"group",)"
         R"("title":"Found Album","artist_credit":"Found Artist","tracks":[)" +
         list + "]" + (withCover ? R"(,"caa_id":7,"caa_release_mbid":"caa-mbid")" : "") + "}]}";
}

class CDManualEntryTest : public ViewTest {
 protected:
  // A fresh sheet over `disc`, as the root view makes one for each showing, described as
  // `artist` / `album`.
  void open(const disc::CDDiscInfo& disc, std::string coverBase = {}) {
    reduce({rip(discInserted{{"d"}, disc})});
    sheet = std::make_unique<CDManualEntryView>(
        store, ViewServices{
                   .search = lookup::SearchCD({.metadataService = server.url()}),
                   .web = {.coverArtArchive = coverBase.empty() ? server.url("/caa") : coverBase}});
    sheet->show();
    field("Artist")->setText("Ann");
    field("Album")->setText("Songs");
  }
  QLineEdit* field(const QString& name) const { return findNamed<QLineEdit>(*sheet, name); }
  auto* button(const QString& name) const { return findNamed<QAbstractButton>(*sheet, name); }
  // A running search keeps "Look Up" disabled, not "Import Disc".
  void lookUp() {
    button("Look Up")->click();
    EXPECT_FALSE(button("Look Up")->isEnabled());
    EXPECT_TRUE(button("Import Disc")->isEnabled());
    ASSERT_TRUE(mainQueue.runUntil([&] { return button("Look Up")->isEnabled(); }));
  }
  // Imports with the default key; the sheet selects the release it built and closes.
  disc::CDLookupRelease importDisc() {
    QTest::keyClick(field("Album"), Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(dispatched.size(), 2u);
    EXPECT_EQ(dispatched.back(),
              AnyAction(state::UIAction(state::UIActions::setCDManualEntryPresented{false})));
    const auto* action = std::get_if<state::CDRipAction>(&dispatched.front());
    const auto* select = action ? std::get_if<selectRelease>(action) : nullptr;
    return select ? select->release : disc::CDLookupRelease{};
  }

  std::unique_ptr<CDManualEntryView> sheet;
};

// A match with more or fewer tracks than the disc: the rows show the disc's tracks, the import
// takes the match's. (A match in another order is the journeys'.)
TEST_F(CDManualEntryTest, AMatchNamesRowsByTrackNumberAndImportsTheMatchsTracks) {
  const struct {
    Tracks match;
    QStringList rows;
    Tracks imported;
  } cases[] = {
      {{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}},
       {"A", "B", "C"},
       {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}}},
      {{{1, "Solo"}}, {"Solo", "typed", "typed"}, {{1, "Solo"}}},
  };
  const QString rows[] = {"Track 1", "Track 2", "Track 3"};
  for (const auto& c : cases) {
    server.respond("POST", "/v1/cd/search", 200, searchAnswer(c.match));
    open(discOf({750, 750, 750}));
    for (const QString& name : rows) {
      field(name)->setText("typed");
    }
    lookUp();
    QStringList shown;
    for (const QString& name : rows) {
      shown << field(name)->text();
    }
    EXPECT_EQ(shown, c.rows);
    Tracks imported;
    for (const auto& track : importDisc().tracks) {
      imported.emplace_back(track.number, track.title);
    }
    EXPECT_EQ(imported, c.imported);
  }
}

TEST_F(CDManualEntryTest, FailuresShowNoMatchesAndOnlyAGoodPreviewShowsAPicture) {
  const struct {
    int status;
    std::string body, coverBase;
    int previewStatus;
    bool noMatches, filled, picture;
  } cases[] = {
      {500, "<html>down</html>", "", 0, true, false, false},
      {200, R"({"releases":[]})", "", 0, true, false, false},
      {200, searchAnswer({{1, "One"}}, true), "http://127.0.0.1:1", 0, true, true, false},
      {200, searchAnswer({{1, "One"}}, true), "", 404, false, true, false},
      {200, searchAnswer({{1, "One"}}, true), "", 200, false, true, true},
  };
  for (const auto& c : cases) {
    server.respond("POST", "/v1/cd/search", c.status, c.body);
    if (c.previewStatus != 0) {  // a picture in a format QImage reads without plugins (PPM)
      server.respond("GET", "/caa/release/caa-mbid/7-250.jpg", c.previewStatus,
                     "P3 1 1 255 255 0 0", "image/x-portable-pixmap");
    }
    open(discOf({750}), c.coverBase);
    lookUp();
    const auto texts = visibleTexts(*sheet);
    EXPECT_EQ(texts.contains("No matches"), c.noMatches) << c.body;
    EXPECT_EQ(field("Artist")->text() == "Found Artist", c.filled) << c.body;
    EXPECT_EQ(!texts.contains("Add Cover Art"), c.picture) << c.body;
  }
}

// Edits made after a match rename the matched release, which keeps its identity and its
// tracks' (a cleared row keeps the matched title).
TEST_F(CDManualEntryTest, EditsAfterAMatchRenameTheMatchedRelease) {
  server.respond("POST", "/v1/cd/search", 200, searchAnswer({{2, "Two"}, {1, "One"}}, true));
  open(discOf({603, 4500}));
  lookUp();
  field("Album")->setText("Edited");
  field("Track 1")->clear();
  field("Track 2")->setText("Renamed");
  auto found = importDisc();
  EXPECT_EQ(found.tracks, (std::vector<disc::CDLookupTrack>{{2, "Renamed", "Ann", 1000, "rec2"},
                                                            {1, "One", "Ann", 1000, "rec1"}}));
  found.tracks.clear();
  EXPECT_EQ(found, (disc::CDLookupRelease{.id = "mbid",
                                          .releaseGroupMbid = "group",
                                          .title = "Edited",
                                          .artistCredit = "Found Artist",
                                          .caaId = 7,
                                          .caaReleaseMbid = "caa-mbid"}));
}

}  // namespace
}  // namespace noru::ui
