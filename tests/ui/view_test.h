#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "state/app_reducer.h"
#include "state/app_store.h"
#include "support/runtime_fixture.h"

// Readable failure messages for Qt values.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QColor& color, std::ostream* out) {
  *out << color.name(QColor::HexArgb).toStdString();
}

namespace noru::ui::testing {

// Sees every action dispatched to the store, before the reducer.
struct RecordingMiddleware {
  std::vector<state::AnyAction>* dispatched;
  state::AnyAction handle(state::AnyAction action, const state::AppState&, const state::Dispatch&) {
    dispatched->push_back(action);
    return action;
  }
};

// A store whose only middleware records what the views dispatch, on a manual main queue: a
// view sees a new state once the queue has been pumped (deliver()).
class ViewTest : public noru::testing::RuntimeFixture {
 protected:
  // Replaces the store's state by reducing `actions` from the initial state; the recording
  // starts afresh afterwards.
  void reduce(const std::vector<state::AnyAction>& actions) {
    for (const auto& action : actions) {
      store->dispatch(action);
    }
    deliver();
    dispatched.clear();
  }

  void deliver() { mainQueue.runPending(); }

  std::vector<state::AnyAction> dispatched;
  std::shared_ptr<state::AppStore> store = state::AppStore::make(
      state::AppState{}, state::reduceApp, {RecordingMiddleware{&dispatched}});
};

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

// The texts of the labels of `root` that a user can see, in creation order.
inline QStringList visibleTexts(const QWidget& root) {
  QStringList texts;
  for (const QLabel* label : root.findChildren<QLabel*>()) {
    if (label->isVisibleTo(&root) && !label->text().isEmpty()) {
      texts << label->text();
    }
  }
  return texts;
}

}  // namespace noru::ui::testing
