#pragma once

#include <variant>

namespace noru::store {

// The runtime type test of an any-action value: the concrete action when `action` holds one of
// type `Concrete`, null otherwise.
template <class Concrete, class AnyAction>
const Concrete* actionAs(const AnyAction& action) {
  return std::get_if<Concrete>(&action);
}

}  // namespace noru::store
