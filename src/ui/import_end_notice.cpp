#include "ui/import_end_notice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <utility>

#include "ui/interface_style.h"

namespace noru::ui {
namespace {

template <class Outcome>
constexpr std::size_t indexOf() {
  return state::ImportOutcome(Outcome{}).index();
}

}  // namespace

void notifyDesktop(const QString& summary, const QString& body) {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return;
  }
  auto message = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                                QStringLiteral("/org/freedesktop/Notifications"),
                                                QStringLiteral("org.freedesktop.Notifications"),
                                                QStringLiteral("Notify"));
  message << localized("Noru CD Ripper") << 0u << QStringLiteral("noru-cd-ripper") << summary
          << body << QStringList() << QVariantMap() << -1;
  bus.call(message, QDBus::NoBlock);  // the window never waits on the desktop
}

ImportEndNotice::Watched ImportEndNotice::Watched::observe(const state::AppState& state) {
  const auto& rip = state.cdRip;
  const auto* failed = std::get_if<state::ImportOutcomes::failed>(&rip.lastImport);
  return {.outcome = rip.lastImport.index(),
          .failure = failed ? failed->message : std::string(),
          .album = rip.selectedRelease ? std::optional(rip.selectedRelease->title) : std::nullopt,
          .notify = state.settings.import.notifyWhenInactive};
}

ImportEndNotice::ImportEndNotice(std::shared_ptr<state::AppStore> store, QWidget& window,
                                 DesktopNotify notify)
    : viewStore_(state::AppViewStore<Watched>::make(std::move(store), &Watched::observe)),
      window_(&window),
      notify_(std::move(notify)),
      last_(viewStore_->state()) {
  changes_ = viewStore_->onChange([this](const Watched& now) { changed(now); });
}

void ImportEndNotice::changed(const Watched& now) {
  const bool ended =
      last_.outcome == indexOf<state::ImportOutcomes::running>() && now.outcome != last_.outcome;
  last_ = now;
  if (!ended || !now.notify || !notify_ || (window_ && window_->isActiveWindow())) {
    return;
  }
  if (now.outcome == indexOf<state::ImportOutcomes::completed>()) {
    notify_(localized("Import complete"), now.album
                                              ? localized("\u201c%1\u201d is in your library.")
                                                    .arg(QString::fromStdString(*now.album))
                                              : localized("The disc is in your library."));
  } else if (now.outcome == indexOf<state::ImportOutcomes::failed>()) {
    notify_(localized("Import failed"), QString::fromStdString(now.failure));
  }
}

}  // namespace noru::ui
