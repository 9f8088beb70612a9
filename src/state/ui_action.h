#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace noru::state {

namespace UIActions {
struct setCDRipSheetPresented {
  bool presented = false;
  bool operator==(const setCDRipSheetPresented&) const = default;
};
struct setCDManualEntryPresented {
  bool presented = false;
  bool operator==(const setCDManualEntryPresented&) const = default;
};
// The user chose a library folder. The bookmark is persisted by the picker, not kept in state.
struct setOutputFolder {
  std::string path;
  std::optional<std::vector<std::uint8_t>> bookmark;
  bool operator==(const setOutputFolder&) const = default;
};
}  // namespace UIActions

using UIAction = std::variant<UIActions::setCDRipSheetPresented,
                              UIActions::setCDManualEntryPresented, UIActions::setOutputFolder>;

}  // namespace noru::state
