#pragma once

#include <variant>

namespace noru::state {

namespace ApplicationActions {
// The window's content was first shown; the disc watcher starts on it.
struct didLaunch {
  bool operator==(const didLaunch&) const = default;
};
}  // namespace ApplicationActions

using ApplicationAction = std::variant<ApplicationActions::didLaunch>;

}  // namespace noru::state
