#pragma once

#include <variant>

namespace noru::state {

namespace MusicActions {
// An import completed. Nothing reacts to it yet.
struct initLibrary {
  bool operator==(const initLibrary&) const = default;
};
}  // namespace MusicActions

using MusicAction = std::variant<MusicActions::initLibrary>;

}  // namespace noru::state
