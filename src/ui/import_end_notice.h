#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "state/app_state.h"
#include "state/app_store.h"
#include "store/subscription.h"

namespace noru::ui {

// Shows the desktop a notification with a summary and a body.
using DesktopNotify = std::function<void(const QString& summary, const QString& body)>;

// The freedesktop notification service on the session bus; nothing when there is none.
void notifyDesktop(const QString& summary, const QString& body);

// Tells the desktop when an import completes or fails while `window` is not the active window,
// if the user asked for it in Preferences: a user who went on with other work learns that the
// disc is done without watching the window.
class ImportEndNotice {
 public:
  ImportEndNotice(std::shared_ptr<state::AppStore> store, QWidget& window, DesktopNotify notify);

 private:
  // What the notice watches of the state.
  struct Watched {
    std::size_t outcome = 0;  // the index of the last import's outcome
    std::string failure;
    std::optional<std::string> album;
    bool notify = false;

    bool operator==(const Watched&) const = default;
    static Watched observe(const state::AppState& state);
  };

  void changed(const Watched& now);

  std::shared_ptr<state::AppViewStore<Watched>> viewStore_;
  QPointer<QWidget> window_;
  DesktopNotify notify_;
  Watched last_;
  store::Subscription changes_;
};

}  // namespace noru::ui
