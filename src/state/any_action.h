#pragma once

#include <variant>

#include "state/application_action.h"
#include "state/cd_rip_action.h"
#include "state/music_action.h"
#include "state/ui_action.h"
#include "store/action_cast.h"

namespace noru::state {

// Any action of the application, as it travels through the store.
using AnyAction = std::variant<ApplicationAction, MusicAction, UIAction, CDRipAction>;

}  // namespace noru::state
