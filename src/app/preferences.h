#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "state/settings_state.h"

class QSettings;

namespace noru::app {

// The per-user preferences of the application, in an INI file. Every write reaches the file
// before it returns, so that a crash right after a choice does not lose it.
class Preferences {
 public:
  explicit Preferences(const std::filesystem::path& iniFile);
  ~Preferences();
  Preferences(const Preferences&) = delete;
  Preferences& operator=(const Preferences&) = delete;

  // The shipped per-user file, under the user's configuration folder.
  static std::unique_ptr<Preferences> forCurrentUser();

  // Recorded for people reading the file; the application finds its folder by the bookmark.
  void writeOutputFolderPath(const std::string& path);
  void writeOutputFolderBookmark(std::span<const std::uint8_t> bookmark);
  std::optional<std::vector<std::uint8_t>> outputFolderBookmark() const;

  // What the next imports do; a value that is missing or not one the program knows stands for
  // its default.
  state::ImportPreferences importPreferences() const;
  void writeImportPreferences(const state::ImportPreferences& preferences);

 private:
  explicit Preferences(std::unique_ptr<QSettings> settings);

  std::unique_ptr<QSettings> settings_;
};

}  // namespace noru::app
