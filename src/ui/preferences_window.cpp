#include "ui/preferences_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "ui/elided_label.h"
#include "ui/interface_style.h"
#include "ui/root_view.h"

namespace noru::ui {
namespace {

using disc::AudioFormat;

constexpr AudioFormat kFormats[] = {AudioFormat::aac, AudioFormat::alac, AudioFormat::flac};

QString formatText(AudioFormat format) {
  switch (format) {
    case AudioFormat::aac:
      return localized("AAC, 256 kbit/s (.m4a)");
    case AudioFormat::alac:
      return localized("Apple Lossless (.m4a)");
    case AudioFormat::flac:
      return localized("FLAC (.flac)");
  }
  return {};
}

}  // namespace

PreferencesWindow::PreferencesWindow(std::shared_ptr<state::AppStore> store,
                                     std::function<void()> chooseFolder, Apply apply,
                                     QWidget* parent)
    : QDialog(parent),
      viewStore_(state::AppViewStore<PreferencesViewState>::make(std::move(store),
                                                                 &PreferencesViewState::observe)),
      apply_(std::move(apply)),
      folder_(new ElidedLabel),
      format_(new QComboBox),
      readTwice_(new QCheckBox(localized("Read tracks that no database confirms a second time"))),
      eject_(new QCheckBox(localized("Eject the disc when its import is complete"))),
      notify_(new QCheckBox(localized("Notify me when an import ends while the window is not in "
                                      "front"))) {
  setWindowTitle(localized("Preferences"));
  setObjectName(QStringLiteral("preferences"));

  folder_->setObjectName(QStringLiteral("preferencesLibraryFolder"));
  auto* choose = new QPushButton(localized("Choose\u2026"));
  choose->setAccessibleName(choose->text());
  connect(choose, &QPushButton::clicked, this, [chooseFolder = std::move(chooseFolder)] {
    if (chooseFolder) {
      chooseFolder();
    }
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(choose);

  for (const auto format : kFormats) {
    format_->addItem(formatText(format), static_cast<int>(format));
  }
  format_->setAccessibleName(localized("Format"));
  readTwice_->setToolTip(localized(
      "A second read finds errors that the drive does not report; it doubles the time of a "
      "disc that AccurateRip and the CUETools database do not know."));

  auto* form = new QFormLayout;
  form->addRow(localized("Library folder:"), folderRow);
  form->addRow(localized("Format:"), format_);
  form->addRow(QString(), readTwice_);
  form->addRow(QString(), eject_);
  form->addRow(QString(), notify_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  auto* close = buttons->button(QDialogButtonBox::Close);
  close->setAccessibleName(close->text());
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

  auto* column = new QVBoxLayout(this);
  column->addLayout(form);
  column->addWidget(buttons);

  render(viewStore_->state());
  changes_ = viewStore_->onChange([this](const PreferencesViewState& state) { render(state); });
  const auto applyChosen = [this] {
    if (apply_) {
      apply_(chosen());
    }
  };
  connect(format_, &QComboBox::currentIndexChanged, this, applyChosen);
  connect(readTwice_, &QCheckBox::toggled, this, applyChosen);
  connect(eject_, &QCheckBox::toggled, this, applyChosen);
  connect(notify_, &QCheckBox::toggled, this, applyChosen);
}

void PreferencesWindow::render(const PreferencesViewState& state) {
  folder_->setFullText(RootView::folderText(state.libraryPath, QDir::homePath()));
  const QSignalBlocker formatQuiet(format_);
  const QSignalBlocker readTwiceQuiet(readTwice_);
  const QSignalBlocker ejectQuiet(eject_);
  const QSignalBlocker notifyQuiet(notify_);
  format_->setCurrentIndex(format_->findData(static_cast<int>(state.import.format)));
  readTwice_->setChecked(state.import.readUnconfirmedTwice);
  eject_->setChecked(state.import.ejectWhenComplete);
  notify_->setChecked(state.import.notifyWhenInactive);
}

state::ImportPreferences PreferencesWindow::chosen() const {
  return {.format = static_cast<AudioFormat>(format_->currentData().toInt()),
          .readUnconfirmedTwice = readTwice_->isChecked(),
          .ejectWhenComplete = eject_->isChecked(),
          .notifyWhenInactive = notify_->isChecked()};
}

}  // namespace noru::ui
