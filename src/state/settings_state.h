#pragma once

#include <optional>
#include <string>

namespace noru::state {

struct SettingsState {
  std::optional<std::string> libraryPath;  // the music-library folder; absent until chosen

  bool operator==(const SettingsState&) const = default;
};

}  // namespace noru::state
