#include "state/cd_rip_state.h"

namespace noru::state {

const CDRipState& initialCDRipState() {
  static const CDRipState initial{};
  return initial;
}

}  // namespace noru::state
