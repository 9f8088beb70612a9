#pragma once

#include "state/any_action.h"
#include "state/cd_rip_state.h"

namespace noru::state {

// The next ripping state for an action; any action that is not a CDRipAction leaves it as is.
CDRipState reduceCDRip(const CDRipState& state, const AnyAction& action);

}  // namespace noru::state
