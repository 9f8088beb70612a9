#include "ui/cd_manual_entry_view.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/captured_log.h"
#include "support/test_http_server.h"
#include "view_test.h"

namespace noru::ui {
namespace {

using namespace std::chrono_literals;
using state::AnyAction;
using testing::findNamed;
using testing::visibleTexts;
namespace rip = state::CDRipActions;
using Tracks = std::vector<std::pair<std::int64_t, std::string>>;  // (number, title), service order

const AnyAction kClosed = state::UIAction(state::UIActions::setCDManualEntryPresented{false});

disc::CDDiscInfo discOf(const std::vector<std::int32_t>& sectorCounts) {
  disc::CDDiscInfo disc;
  for (std::int32_t count : sectorCounts) {
    disc.tracks.push_back(
        {static_cast<std::int64_t>(disc.tracks.size() + 1), disc.totalSectors, count});
    disc.totalSectors += count;
  }
  return disc;
}

// A picture in a format that QImage reads without plugins (PPM), however it is named.
const std::string kPicture = "P3 1 1 255 255 0 0";

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

class CDManualEntryTest : public testing::ViewTest {
 protected:
  noru::testing::TestHttpServer server;
  std::unique_ptr<CDManualEntryView> sheet;

  // A fresh sheet, as the root view makes one for each showing, over `disc` (or no disc).
  void open(const std::optional<disc::CDDiscInfo>& disc, std::string coverBase = {}) {
    reduce({disc ? state::CDRipAction(rip::discInserted{{"d"}, *disc})
                 : state::CDRipAction(rip::discEjected{"d"})});
    sheet = std::make_unique<CDManualEntryView>(
        store, ViewServices{server.url(), coverBase.empty() ? server.url("/caa") : coverBase});
    sheet->show();
  }
  QLineEdit* field(const QString& name) const { return findNamed<QLineEdit>(*sheet, name); }
  auto* button(const QString& name) const { return findNamed<QAbstractButton>(*sheet, name); }
  void describe(const QString& artist, const QString& album) {
    field("Artist")->setText(artist);
    field("Album")->setText(album);
  }
  // A running search keeps "Look Up" disabled, not "Import Disc".
  void lookUp() {
    button("Look Up")->click();
    EXPECT_FALSE(button("Look Up")->isEnabled());
    EXPECT_TRUE(button("Import Disc")->isEnabled());
    ASSERT_TRUE(mainQueue.runUntil([&] { return button("Look Up")->isEnabled(); }));
  }
  bool showsPicture() const { return !visibleTexts(*sheet).contains("Add Cover Art"); }
  // Imports with the default key; the sheet selects the release it built and closes.
  disc::CDLookupRelease importDisc() {
    QTest::keyClick(field("Album"), Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(dispatched.size(), 2u);
    EXPECT_EQ(dispatched.back(), kClosed);
    const auto* action = std::get_if<state::CDRipAction>(&dispatched.front());
    const auto* select = action ? std::get_if<rip::selectRelease>(action) : nullptr;
    return select ? select->release : disc::CDLookupRelease{};
  }
};

TEST_F(CDManualEntryTest, ButtonsNeedArtistAndAlbumAndLookUpAlsoADisc) {
  const struct {
    bool disc;
    QString artist, album;
    bool lookUp, import;
  } cases[] = {
      {true, "", "", false, false},         {true, "Ann", "", false, false},
      {true, "", "Songs", false, false},    {true, " ", " ", true, true},
      {false, "Ann", "Songs", false, true},
  };
  for (const auto& c : cases) {
    open(c.disc ? std::optional(discOf({750})) : std::nullopt);
    describe(c.artist, c.album);
    EXPECT_EQ(button("Look Up")->isEnabled(), c.lookUp) << c.artist.toStdString();
    EXPECT_EQ(button("Import Disc")->isEnabled(), c.import) << c.artist.toStdString();
  }
}

TEST_F(CDManualEntryTest, AMatchNamesRowsByTrackNumberAndImportsAllItsTracksInServiceOrder) {
  const struct {
    Tracks match;
    QStringList rows;
    Tracks imported;
  } cases[] = {
      {{{2, "Two"}, {1, "One"}, {3, "Three"}},
       {"One", "Two", "Three"},
       {{2, "One"}, {1, "Two"}, {3, "Three"}}},
      {{{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}},
       {"A", "B", "C"},
       {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}}},
      {{{1, "Solo"}}, {"Solo", "typed", "typed"}, {{1, "Solo"}}},
  };
  for (const auto& c : cases) {
    server.respond("POST", "/v1/cd/search", 200, searchAnswer(c.match));
    open(discOf({750, 750, 750}));
    describe("ann", "songs");
    for (const QString name : {"Track 1", "Track 2", "Track 3"}) {
      field(name)->setText("typed");
    }
    lookUp();
    EXPECT_EQ(field("Artist")->text(), "Found Artist");
    EXPECT_EQ(field("Album")->text(), "Found Album");
    QStringList rows;
    for (const QString name : {"Track 1", "Track 2", "Track 3"}) {
      rows << field(name)->text();
    }
    EXPECT_EQ(rows, c.rows);
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
    std::size_t errorLines;
  } cases[] = {
      {500, "<html>down</html>", "", 0, true, false, false, 1},
      {200, R"({"releases":[]})", "", 0, true, false, false, 0},
      {200, searchAnswer({{1, "One"}}, true), "http://127.0.0.1:1", 0, true, true, false, 1},
      {200, searchAnswer({{1, "One"}}, true), "", 404, false, true, false, 0},
      {200, searchAnswer({{1, "One"}}, true), "", 200, false, true, true, 0},
  };
  for (const auto& c : cases) {
    noru::testing::CapturedLog log;
    server.respond("POST", "/v1/cd/search", c.status, c.body);
    if (c.previewStatus != 0) {
      server.respond("GET", "/caa/release/caa-mbid/7-250.jpg", c.previewStatus, kPicture,
                     "image/x-portable-pixmap");
    }
    open(discOf({750}), c.coverBase);
    describe("ann", "songs");
    lookUp();
    EXPECT_EQ(visibleTexts(*sheet).contains("No matches"), c.noMatches) << c.body;
    EXPECT_EQ(field("Artist")->text() == "Found Artist", c.filled) << c.body;
    EXPECT_EQ(showsPicture(), c.picture) << c.body;
    EXPECT_EQ(log.linesStartingWith("SearchCD: error \u2014 ").size(), c.errorLines) << c.body;
  }
}

TEST_F(CDManualEntryTest, ImportSelectsTheDescribedReleaseAndLaterStartsTheRip) {
  open(discOf({603, 4500}));
  describe("Ann", "Songs");
  field("Track 1")->setText("  ");
  const auto own = importDisc();
  EXPECT_TRUE(
      QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")
          .match(QString::fromStdString(own.id))
          .hasMatch());
  EXPECT_EQ(own, (disc::CDLookupRelease{
                     .id = own.id,
                     .title = "Songs",
                     .artistCredit = "Ann",
                     .tracks = {{1, "  ", "Ann", 8039}, {2, "Track 2", "Ann", 60000}}}));
  mainQueue.advanceBy(1s);  // past that import's delayed dispatches

  server.respond("POST", "/v1/cd/search", 200, searchAnswer({{2, "Two"}, {1, "One"}}, true));
  open(discOf({603, 4500}));
  describe("Ann", "Songs");
  lookUp();
  field("Album")->setText("Edited");
  field("Track 1")->clear();
  field("Track 2")->setText("Renamed");
  EXPECT_EQ(importDisc(),
            (disc::CDLookupRelease{
                .id = "mbid",
                .releaseGroupMbid = "group",
                .title = "Edited",
                .artistCredit = "Found Artist",
                .tracks = {{2, "Two", "Ann", 1000, "rec2"}, {1, "Renamed", "Ann", 1000, "rec1"}},
                .caaId = 7,
                .caaReleaseMbid = "caa-mbid",
            }));

  sheet.reset();  // as the root view deletes a closed sheet
  dispatched.clear();
  const AnyAction present = state::UIAction(state::UIActions::setCDRipSheetPresented{true});
  const AnyAction start = state::CDRipAction(rip::startRipping{});
  const struct {
    std::chrono::milliseconds advance;
    std::vector<AnyAction> dispatched;
  } steps[] = {{399ms, {}}, {1ms, {present}}, {299ms, {present}}, {1ms, {present, start}}};
  for (const auto& step : steps) {
    mainQueue.advanceBy(step.advance);
    EXPECT_EQ(dispatched, step.dispatched) << mainQueue.now().count();
  }
}

TEST_F(CDManualEntryTest, TheSummaryAndDurationsFollowTheDiscButTheRowsDoNot) {
  open(discOf({337500}));
  EXPECT_TRUE(visibleTexts(*sheet).contains("1 tracks \u00B7 75:00"));
  EXPECT_TRUE(visibleTexts(*sheet).contains("75:00"));

  reduce({state::CDRipAction(rip::discEjected{"d"})});
  EXPECT_EQ(visibleTexts(*sheet).filter(":"), QStringList());
  EXPECT_TRUE(field("Track 1"));

  open(std::nullopt);
  EXPECT_EQ(visibleTexts(*sheet).filter("Track"), QStringList());
}

TEST_F(CDManualEntryTest, EveryWayOfCancellingClosesTheSheetWithOneDispatch) {
  const std::function<void()> ways[] = {
      [&] { button("Cancel")->click(); }, [&] { button("Close")->click(); },
      [&] { QTest::keyClick(sheet.get(), Qt::Key_Escape); }, [&] { sheet->close(); }};
  for (const auto& way : ways) {
    open(discOf({750}));
    way();
    EXPECT_FALSE(sheet->isVisible());
    sheet->reject();
    EXPECT_EQ(dispatched, std::vector{kClosed});
    dispatched.clear();
  }
}

}  // namespace
}  // namespace noru::ui
