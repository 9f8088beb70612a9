#include "ui/root_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>

#include "ui/cd_manual_entry_view.h"
#include "ui/elided_label.h"
#include "ui/interface_style.h"
#include "view_test.h"

namespace noru::ui {
namespace {

using testing::ViewTest;

TEST(RootViewFolderText, ShowsTheHomeFolderAsATildeAndOtherPathsInFull) {
  const struct {
    std::optional<std::string> libraryPath;
    QString shown;
  } cases[] = {
      {std::nullopt, "No output folder selected"},
      {"/home/ann/Music", "~/Music"},
      {"/home/ann", "~"},
      {"/home/anna/Music", "/home/anna/Music"},
      {"/srv/music", "/srv/music"},
  };
  for (const auto& [libraryPath, shown] : cases) {
    EXPECT_EQ(RootView::folderText(libraryPath, "/home/ann"), shown);
  }
}

class RootViewTest : public ViewTest {
 protected:
  int choices = 0;
  RootView view{store, ViewServices{}, [this] { ++choices; }};

  CDManualEntryView* sheet() const {
    for (auto* dialog : view.window()->findChildren<QDialog*>()) {
      if (auto* manual = dynamic_cast<CDManualEntryView*>(dialog)) {
        return manual;
      }
    }
    return nullptr;
  }
  const ElidedLabel& folderLabel() const {
    return dynamic_cast<const ElidedLabel&>(*view.findChild<QLabel*>("libraryFolder"));
  }
  QColor folderColor() const { return folderLabel().palette().color(QPalette::WindowText); }
};

TEST_F(RootViewTest, TheHeaderFollowsTheLibraryFolderAndOffersAnother) {
  EXPECT_EQ(folderLabel().fullText(), "No output folder selected");
  EXPECT_EQ(folderColor(), kWarningColor);

  reduce({state::UIAction(state::UIActions::setOutputFolder{"/srv/music"})});
  EXPECT_EQ(folderLabel().fullText(), "/srv/music");
  EXPECT_NE(folderColor(), kWarningColor);

  auto* choose = testing::findNamed<QAbstractButton>(view, "Choose\u2026");
  ASSERT_TRUE(choose);
  choose->click();
  EXPECT_EQ(choices, 1);
}

TEST_F(RootViewTest, TheSheetFollowsTheStateAndClosingItDispatchesOnce) {
  view.show();
  reduce({state::UIAction(state::UIActions::setCDManualEntryPresented{true})});
  ASSERT_TRUE(sheet() && sheet()->isVisible());

  sheet()->close();  // as the window manager closes it
  deliver();
  ASSERT_EQ(dispatched.size(), 1u);
  EXPECT_EQ(dispatched[0],
            state::AnyAction(state::UIAction(state::UIActions::setCDManualEntryPresented{false})));
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(sheet());
}

}  // namespace
}  // namespace noru::ui
