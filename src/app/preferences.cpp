#include "app/preferences.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace noru::app {
namespace {

const QString outputFolderPathKey = QStringLiteral("settings.outputFolderPath");
const QString outputFolderBookmarkKey = QStringLiteral("settings.outputFolderBookmark");
const QString importFormatKey = QStringLiteral("settings.importFormat");
const QString readUnconfirmedTwiceKey = QStringLiteral("settings.readUnconfirmedTwice");
const QString ejectWhenCompleteKey = QStringLiteral("settings.ejectWhenComplete");
const QString notifyWhenInactiveKey = QStringLiteral("settings.notifyWhenInactive");

// A switch stored as "true" or "false"; anything else leaves `value` as it is.
void readSwitch(const QSettings& settings, const QString& key, bool& value) {
  const QString text = settings.value(key).toString();
  if (text == QStringLiteral("true") || text == QStringLiteral("false")) {
    value = text == QStringLiteral("true");
  }
}

}  // namespace

Preferences::Preferences(const std::filesystem::path& iniFile)
    : Preferences(std::make_unique<QSettings>(QString::fromStdString(iniFile.native()),
                                              QSettings::IniFormat)) {}

Preferences::Preferences(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}

Preferences::~Preferences() = default;

std::unique_ptr<Preferences> Preferences::forCurrentUser() {
  return std::unique_ptr<Preferences>(new Preferences(
      std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                  QStringLiteral("Noru"), QStringLiteral("Noru CD Ripper"))));
}

void Preferences::writeOutputFolderPath(const std::string& path) {
  settings_->setValue(outputFolderPathKey, QString::fromStdString(path));
  settings_->sync();
}

void Preferences::writeOutputFolderBookmark(std::span<const std::uint8_t> bookmark) {
  const QByteArray bytes(reinterpret_cast<const char*>(bookmark.data()),
                         static_cast<qsizetype>(bookmark.size()));
  settings_->setValue(outputFolderBookmarkKey, bytes);
  settings_->sync();
}

std::optional<std::vector<std::uint8_t>> Preferences::outputFolderBookmark() const {
  const QVariant value = settings_->value(outputFolderBookmarkKey);
  if (!value.isValid()) {
    return std::nullopt;
  }
  const QByteArray bytes = value.toByteArray();
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

state::ImportPreferences Preferences::importPreferences() const {
  state::ImportPreferences preferences;
  const auto format = settings_->value(importFormatKey).toString().toStdString();
  preferences.format = disc::audioFormatNamed(format).value_or(preferences.format);
  readSwitch(*settings_, readUnconfirmedTwiceKey, preferences.readUnconfirmedTwice);
  readSwitch(*settings_, ejectWhenCompleteKey, preferences.ejectWhenComplete);
  readSwitch(*settings_, notifyWhenInactiveKey, preferences.notifyWhenInactive);
  return preferences;
}

void Preferences::writeImportPreferences(const state::ImportPreferences& preferences) {
  settings_->setValue(
      importFormatKey,
      QString::fromUtf8(disc::nameOf(preferences.format).data(),
                        static_cast<qsizetype>(disc::nameOf(preferences.format).size())));
  settings_->setValue(readUnconfirmedTwiceKey, preferences.readUnconfirmedTwice);
  settings_->setValue(ejectWhenCompleteKey, preferences.ejectWhenComplete);
  settings_->setValue(notifyWhenInactiveKey, preferences.notifyWhenInactive);
  settings_->sync();
}

}  // namespace noru::app
