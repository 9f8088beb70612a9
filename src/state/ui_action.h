#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "state/settings_state.h"

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
// The user changed the preferences of the next imports (they are persisted by the window).
struct setImportPreferences {
  ImportPreferences preferences;
  bool operator==(const setImportPreferences&) const = default;
};
}  // namespace UIActions

using UIAction =
    std::variant<UIActions::setCDRipSheetPresented, UIActions::setCDManualEntryPresented,
                 UIActions::setOutputFolder, UIActions::setImportPreferences>;

}  // namespace noru::state
