#include "state/app_reducer.h"

#include "state/cd_rip_reducer.h"

namespace noru::state {
namespace {

struct UIReduction {
  AppState& s;

  void operator()(const UIActions::setCDRipSheetPresented& a) {
    s.ui.isCDRipSheetPresented = a.presented;
  }
  void operator()(const UIActions::setCDManualEntryPresented& a) {
    s.ui.isCDManualEntryPresented = a.presented;
  }
  void operator()(const UIActions::setOutputFolder& a) { s.settings.libraryPath = a.path; }
  void operator()(const UIActions::setImportPreferences& a) { s.settings.import = a.preferences; }
};

}  // namespace

AppState reduceApp(const AppState& state, const AnyAction& action) {
  AppState next = state;
  next.cdRip = reduceCDRip(state.cdRip, action);
  if (const auto* uiAction = store::actionAs<UIAction>(action)) {
    std::visit(UIReduction{next}, *uiAction);
  }
  return next;
}

}  // namespace noru::state
