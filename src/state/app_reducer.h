#pragma once

#include "state/any_action.h"
#include "state/app_state.h"

namespace noru::state {

// The store's reducer: ripping actions go to the ripping reducer, UI actions change the
// presentation flags or the library folder; application and music actions change nothing.
AppState reduceApp(const AppState& state, const AnyAction& action);

}  // namespace noru::state
