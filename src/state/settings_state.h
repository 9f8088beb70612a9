#pragma once

#include <optional>
#include <string>

#include "disc/audio_format.h"

namespace noru::state {

// How the next import runs, as the user set it in Preferences; an import that is running keeps
// the preferences it started with.
struct ImportPreferences {
  disc::AudioFormat format = disc::AudioFormat::aac;
  // Whether a track that no database confirms is read a second time and compared.
  bool readUnconfirmedTwice = true;
  // Whether the disc is ejected once an import of it completes.
  bool ejectWhenComplete = false;
  // Whether the desktop is told when an import ends while the window is in the background.
  bool notifyWhenInactive = false;

  bool operator==(const ImportPreferences&) const = default;
};

struct SettingsState {
  std::optional<std::string> libraryPath;  // the music-library folder; absent until chosen
  ImportPreferences import;

  bool operator==(const SettingsState&) const = default;
};

}  // namespace noru::state
