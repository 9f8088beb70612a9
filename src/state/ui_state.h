#pragma once

namespace noru::state {

// Presentation flags of the window.
struct UIState {
  bool isCDRipSheetPresented = false;
  bool isCDManualEntryPresented = false;

  bool operator==(const UIState&) const = default;
};

}  // namespace noru::state
