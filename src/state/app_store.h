#pragma once

#include "state/any_action.h"
#include "state/app_state.h"
#include "store/middleware.h"
#include "store/store.h"
#include "store/view_store.h"

namespace noru::state {

using AppStore = store::Store<AppState, AnyAction>;
using AppMiddleware = store::Middleware<AppState, AnyAction>;
using Dispatch = AppMiddleware::Dispatch;

template <class ViewState>
using AppViewStore = store::ViewStore<ViewState, AppState, AnyAction>;

}  // namespace noru::state
