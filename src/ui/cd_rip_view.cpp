#include "ui/cd_rip_view.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/cd_rip_action.h"
#include "state/ui_action.h"
#include "ui/background_work.h"
#include "ui/cd_rip_view_state.h"
#include "ui/duration_text.h"
#include "ui/interface_style.h"
#include "ui/preview_image.h"
#include "ui/verification_text.h"

namespace noru::ui {
namespace {

namespace actions = state::CDRipActions;

constexpr int kCoverPixels = 120;
const QColor kSuccessColor{0x34, 0xA8, 0x53};

QString fromStd(const std::string& text) {
  return QString::fromStdString(text);
}

// One picker entry: "Artist — Album (1999) [GB]", the date and the country only when known.
QString releaseEntry(const disc::CDLookupRelease& release) {
  QString entry =
      fromStd(release.artistCredit) + QStringLiteral(" \u2014 ") + fromStd(release.title);
  if (release.date) {
    entry += QStringLiteral(" (") + fromStd(*release.date) + QLatin1Char(')');
  }
  if (release.country) {
    entry += QStringLiteral(" [") + fromStd(*release.country) + QLatin1Char(']');
  }
  return entry;
}

// The progress as a whole percentage, truncated toward zero.
int percent(double progress) {
  return static_cast<int>(progress * 100.0);
}

QLabel* makeLabel(const QFont& font, bool wraps = false) {
  auto* label = new QLabel;
  label->setFont(font);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(wraps);
  return label;
}

QLabel* makeLabel(const QString& text, const QFont& font, bool wraps = false) {
  QLabel* label = makeLabel(font, wraps);
  label->setText(text);
  return label;
}

void setTextColor(QWidget* widget, const QColor& color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, color);
  widget->setPalette(palette);
}

void showSymbol(QLabel* symbol, const char* name, const QColor& color) {
  const qreal ratio = symbol->devicePixelRatioF();
  QPixmap pixmap = systemSymbol(QString::fromLatin1(name), qRound(20 * ratio), color);
  pixmap.setDevicePixelRatio(ratio);
  symbol->setPixmap(pixmap);
}

QLabel* makeSymbol(const char* name, const QColor& color) {
  auto* symbol = new QLabel;
  showSymbol(symbol, name, color);
  symbol->setFixedSize(20, 20);
  return symbol;
}

// Buttons carry their label as their accessible name, so that assistive tools (and tests)
// find them by what the user reads.
QPushButton* makeButton(const QString& text) {
  auto* button = new QPushButton(text);
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  return button;
}

// The button that moves the import forward stands out in the highlight colour.
QPushButton* makeProminentButton(const QString& text) {
  QPushButton* button = makeButton(text);
  QPalette palette = button->palette();
  palette.setColor(QPalette::Active, QPalette::Button, palette.color(QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::Button, palette.color(QPalette::Highlight));
  palette.setColor(QPalette::Active, QPalette::ButtonText,
                   palette.color(QPalette::HighlightedText));
  palette.setColor(QPalette::Inactive, QPalette::ButtonText,
                   palette.color(QPalette::HighlightedText));
  button->setPalette(palette);
  button->setMinimumWidth(140);
  return button;
}

// Tints a notice band softly in `tint`.
void tint(QFrame* notice, const QColor& tint) {
  QColor background = tint;
  background.setAlphaF(0.14);
  QPalette palette = notice->palette();
  palette.setColor(QPalette::Window, background);
  notice->setPalette(palette);
}

// A softly tinted band holding a symbol and a message, for the outcome of an import.
QFrame* makeNotice(const QColor& color, QHBoxLayout*& row) {
  auto* notice = new QFrame;
  tint(notice, color);
  notice->setAutoFillBackground(true);
  row = new QHBoxLayout(notice);
  row->setContentsMargins(10, 8, 10, 8);
  row->setSpacing(10);
  return notice;
}

QWidget* bare(QLayout* layout) {
  auto* widget = new QWidget;
  layout->setContentsMargins(0, 0, 0, 0);
  widget->setLayout(layout);
  return widget;
}

}  // namespace

struct CDRipView::Parts {
  Parts(CDRipView& view, std::shared_ptr<state::AppStore> store, ViewServices services);

  void build();
  QWidget* buildDiscSection();
  QWidget* buildProgressSection();
  QWidget* buildNotices();

  void render(const CDRipViewState& state);
  void renderOutcome(const CDRipViewState& state);
  void forgetCoversOfAnotherDisc(const CDRipViewState& state);
  void renderDiscSection(const CDRipViewState& state);
  void renderPicker(const CDRipViewState& state);
  void renderRelease(const disc::CDLookupRelease& release);
  void showCover(const disc::CDLookupRelease& release);
  void coverArrived(const std::string& releaseId, std::optional<QImage> image);
  void setCover(const std::optional<QImage>& image);
  void chooseRelease(int index);
  void askToStop();

  void dispatch(state::CDRipAction action) { store->dispatch(state::AnyAction{std::move(action)}); }
  void dispatch(state::UIAction action) { store->dispatch(state::AnyAction{std::move(action)}); }

  CDRipView& view;
  std::shared_ptr<state::AppStore> store;
  std::shared_ptr<state::AppViewStore<CDRipViewState>> viewStore;
  ViewServices services;
  store::Subscription changes;

  // View-local values; how the last import went is the state's.
  bool showStopConfirmation = false;
  std::optional<disc::CDDiscInfo> shownDisc;
  bool completionWarns = false;

  // The covers of the current disc's releases by release id, each asked for at most once: an
  // entry without an image is a request still running, a failed one, or a release without
  // Cover Art Archive ids. `coverArtReleaseId` is the release whose block is shown.
  std::map<std::string, std::optional<QImage>> covers;
  std::optional<std::string> coverArtReleaseId;
  std::vector<disc::CDLookupRelease> pickerReleases;

  QToolButton* eject = nullptr;
  QLabel* noDrives = nullptr;
  QLabel* noDisc = nullptr;
  QWidget* discSection = nullptr;
  QWidget* lookingUp = nullptr;
  QWidget* lookupFailure = nullptr;
  QLabel* lookupError = nullptr;
  QWidget* picker = nullptr;
  QComboBox* releases = nullptr;
  QWidget* releaseBlock = nullptr;
  QLabel* cover = nullptr;
  QLabel* artist = nullptr;
  QLabel* title = nullptr;
  QLabel* date = nullptr;
  QLabel* trackCount = nullptr;
  QLabel* disc = nullptr;  // which of the release's discs, when it has several
  QLabel* noMatch = nullptr;
  QLabel* audioTracks = nullptr;
  QLabel* totalDuration = nullptr;
  QWidget* progressSection = nullptr;
  QLabel* importing = nullptr;
  QLabel* overallText = nullptr;
  QProgressBar* overall = nullptr;
  QLabel* currentText = nullptr;
  QProgressBar* current = nullptr;
  QLabel* verdicts = nullptr;
  QFrame* completion = nullptr;
  QLabel* completionSymbol = nullptr;
  QLabel* verificationSummary = nullptr;
  QWidget* failure = nullptr;
  QLabel* failureText = nullptr;
  QPushButton* stop = nullptr;
  QPushButton* addDetails = nullptr;
  QPushButton* import = nullptr;
  QPointer<QMessageBox> stopConfirmation;
};

CDRipView::Parts::Parts(CDRipView& view, std::shared_ptr<state::AppStore> store,
                        ViewServices services)
    : view(view),
      store(std::move(store)),
      viewStore(state::AppViewStore<CDRipViewState>::make(this->store, &CDRipViewState::observe)),
      services(std::move(services)) {}

void CDRipView::Parts::build() {
  const QColor secondary = secondaryColor(view);

  auto* heading = makeLabel(localized("Import CD to Noru"), titleFont());
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);

  eject = new QToolButton;
  eject->setIcon(
      systemSymbolIcon(QStringLiteral("eject.fill"), view.palette().color(QPalette::WindowText)));
  eject->setIconSize(QSize(22, 22));
  eject->setAutoRaise(true);
  eject->setAccessibleName(localized("Eject"));
  eject->setToolTip(eject->accessibleName());
  QObject::connect(eject, &QToolButton::clicked, &view, [this] {
    const auto& drives = viewStore->state().drives;
    const auto loaded = std::find_if(drives.begin(), drives.end(),
                                     [](const disc::CDDrive& drive) { return drive.hasDisc; });
    if (loaded == drives.end()) {
      return;
    }
    dispatch(actions::ejectAndClose{loaded->id});
  });

  auto* header = new QHBoxLayout;
  header->addWidget(heading, 1);
  header->addWidget(eject);

  noDrives = makeLabel(localized("No optical drives detected."), bodyFont(), true);
  noDisc = makeLabel(localized("Insert a disc to get started."), bodyFont(), true);
  setTextColor(noDrives, secondary);
  setTextColor(noDisc, secondary);

  // Everything between the header and the button row scrolls when the window is too short
  // for a disc with many releases, an import and a notice at once.
  auto* content = new QWidget;
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 4, 0);
  column->setSpacing(16);
  column->addWidget(noDrives);
  column->addWidget(noDisc);
  column->addWidget(buildDiscSection());
  column->addWidget(buildProgressSection());
  column->addWidget(buildNotices());
  column->addStretch(1);

  auto* scroller = new QScrollArea;
  scroller->setFrameShape(QFrame::NoFrame);
  scroller->setWidgetResizable(true);
  scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroller->setWidget(content);
  scroller->viewport()->setAutoFillBackground(false);
  content->setAutoFillBackground(false);

  stop = makeButton(localized("Stop"));
  stop->setMinimumWidth(140);
  addDetails = makeProminentButton(localized("Add CD Details"));
  import = makeProminentButton(localized("Import Disc"));
  QObject::connect(stop, &QPushButton::clicked, &view, [this] { askToStop(); });
  QObject::connect(addDetails, &QPushButton::clicked, &view,
                   [this] { dispatch(state::UIActions::setCDManualEntryPresented{true}); });
  QObject::connect(import, &QPushButton::clicked, &view,
                   [this] { dispatch(actions::startRipping{}); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(stop);
  buttons->addWidget(addDetails);
  buttons->addWidget(import);

  auto* layout = new QVBoxLayout(&view);
  layout->setContentsMargins(20, 16, 20, 16);
  layout->setSpacing(14);
  layout->addLayout(header);
  layout->addWidget(scroller, 1);
  layout->addLayout(buttons);
}

QWidget* CDRipView::Parts::buildDiscSection() {
  const QColor secondary = secondaryColor(view);

  auto* spinner = new QProgressBar;
  spinner->setRange(0, 0);
  spinner->setTextVisible(false);
  spinner->setFixedSize(72, 10);
  auto* spinnerText = makeLabel(localized("Looking up disc..."), bodyFont());
  spinner->setAccessibleName(spinnerText->text());
  auto* lookingUpRow = new QHBoxLayout;
  lookingUpRow->setSpacing(10);
  lookingUpRow->addWidget(spinner);
  lookingUpRow->addWidget(spinnerText, 1);
  lookingUp = bare(lookingUpRow);

  lookupError = makeLabel(bodyFont(), true);
  setTextColor(lookupError, kWarningColor);
  auto* retry = makeButton(localized("Retry"));
  QObject::connect(retry, &QPushButton::clicked, &view, [this] {
    if (const auto& info = viewStore->state().discInfo) {
      dispatch(actions::lookupDisc{*info});
    }
  });
  auto* failureRow = new QHBoxLayout;
  failureRow->setSpacing(10);
  failureRow->addWidget(lookupError, 1);
  failureRow->addWidget(retry, 0, Qt::AlignTop);
  lookupFailure = bare(failureRow);

  auto* several = makeLabel(localized("Multiple releases found"), bodyFont());
  auto* pickerLabel = makeLabel(localized("Release"), captionFont());
  setTextColor(pickerLabel, secondary);
  releases = new QComboBox;
  releases->setAccessibleName(pickerLabel->text());
  releases->setFont(captionFont());
  releases->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  releases->setMinimumContentsLength(24);
  releases->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  pickerLabel->setBuddy(releases);
  // `activated` comes from the user only; the picker's updates from the state stay silent.
  QObject::connect(releases, &QComboBox::activated, &view,
                   [this](int index) { chooseRelease(index); });
  auto* pickerRow = new QHBoxLayout;
  pickerRow->setSpacing(10);
  pickerRow->addWidget(pickerLabel);
  pickerRow->addWidget(releases, 1);
  auto* pickerColumn = new QVBoxLayout;
  pickerColumn->setSpacing(6);
  pickerColumn->addWidget(several);
  pickerColumn->addLayout(pickerRow);
  picker = bare(pickerColumn);

  cover = new QLabel;
  cover->setAccessibleName(localized("Cover art"));
  cover->setFixedSize(kCoverPixels, kCoverPixels);
  cover->setAlignment(Qt::AlignCenter);
  artist = makeLabel(bodyFont(), true);
  QFont bold = bodyFont();
  bold.setBold(true);
  artist->setFont(bold);
  title = makeLabel(bodyFont(), true);
  date = makeLabel(captionFont());
  trackCount = makeLabel(captionFont());
  disc = makeLabel(captionFont());
  setTextColor(date, secondary);
  setTextColor(trackCount, secondary);
  setTextColor(disc, secondary);
  auto* facts = new QVBoxLayout;
  facts->setSpacing(4);
  facts->addWidget(artist);
  facts->addWidget(title);
  facts->addWidget(date);
  facts->addWidget(trackCount);
  facts->addWidget(disc);
  facts->addStretch(1);
  auto* blockRow = new QHBoxLayout;
  blockRow->setSpacing(14);
  blockRow->addWidget(cover, 0, Qt::AlignTop);
  blockRow->addLayout(facts, 1);
  releaseBlock = bare(blockRow);

  noMatch = makeLabel(bodyFont(), true);
  noMatch->setTextInteractionFlags(Qt::TextSelectableByMouse);
  setTextColor(noMatch, secondary);

  audioTracks = makeLabel(captionFont());
  totalDuration = makeLabel(captionFont());
  setTextColor(audioTracks, secondary);
  setTextColor(totalDuration, secondary);
  auto* summaryRow = new QHBoxLayout;
  summaryRow->setSpacing(18);
  summaryRow->addWidget(audioTracks);
  summaryRow->addWidget(totalDuration);
  summaryRow->addStretch(1);

  auto* section = new QVBoxLayout;
  section->setSpacing(12);
  section->addWidget(lookingUp);
  section->addWidget(lookupFailure);
  section->addWidget(picker);
  section->addWidget(releaseBlock);
  section->addWidget(noMatch);
  section->addLayout(summaryRow);
  discSection = bare(section);
  return discSection;
}

QWidget* CDRipView::Parts::buildProgressSection() {
  importing = makeLabel(bodyFont());
  overallText = makeLabel(captionFont());
  currentText = makeLabel(captionFont());
  overall = new QProgressBar;
  current = new QProgressBar;
  overall->setAccessibleName(localized("Overall"));
  current->setAccessibleName(localized("Current track"));

  auto* bars = new QGridLayout;
  bars->setHorizontalSpacing(12);
  bars->setVerticalSpacing(8);
  bars->setColumnStretch(1, 1);
  int row = 0;
  for (auto [text, bar] : {std::pair{overallText, overall}, std::pair{currentText, current}}) {
    bar->setRange(0, 1000);
    bar->setTextVisible(false);
    bar->setFixedHeight(12);
    text->setMinimumWidth(
        text->fontMetrics().horizontalAdvance(localized("Current track: %1%").arg(100)));
    bars->addWidget(text, row, 0);
    bars->addWidget(bar, row, 1);
    ++row;
  }

  // The AccurateRip verdicts of the tracks ripped so far, one line each.
  verdicts = makeLabel(captionFont(), true);

  auto* section = new QVBoxLayout;
  section->setSpacing(10);
  section->addWidget(importing);
  section->addLayout(bars);
  section->addWidget(verdicts);
  progressSection = bare(section);
  return progressSection;
}

QWidget* CDRipView::Parts::buildNotices() {
  QHBoxLayout* row = nullptr;
  completion = makeNotice(kSuccessColor, row);
  completion->setAccessibleName(localized("Success"));
  completionSymbol = makeSymbol("checkmark.circle.fill", kSuccessColor);
  row->addWidget(completionSymbol, 0, Qt::AlignTop);
  verificationSummary = makeLabel(bodyFont(), true);
  auto* completionText = new QVBoxLayout;
  completionText->setSpacing(6);
  completionText->addWidget(
      makeLabel(localized("Import complete. Eject the disc or insert another."), bodyFont(), true));
  completionText->addWidget(verificationSummary);
  row->addLayout(completionText, 1);

  failure = makeNotice(kWarningColor, row);
  failure->setAccessibleName(localized("Error"));
  failureText = makeLabel(bodyFont(), true);
  failureText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* dismiss = makeButton(localized("Dismiss"));
  QObject::connect(dismiss, &QPushButton::clicked, &view, [this] { dispatch(actions::dismiss{}); });
  row->addWidget(makeSymbol("exclamationmark.triangle.fill", kWarningColor), 0, Qt::AlignTop);
  row->addWidget(failureText, 1);
  row->addWidget(dismiss, 0, Qt::AlignTop);

  auto* notices = new QVBoxLayout;
  notices->setSpacing(10);
  notices->addWidget(completion);
  notices->addWidget(failure);
  return bare(notices);
}

void CDRipView::Parts::render(const CDRipViewState& state) {
  forgetCoversOfAnotherDisc(state);
  // A confirmation left open would otherwise stop (and clean up after) an import that has
  // already ended.
  if (!state.isRipping && stopConfirmation) {
    stopConfirmation->reject();
  }

  const bool someDisc = std::any_of(state.drives.begin(), state.drives.end(),
                                    [](const disc::CDDrive& drive) { return drive.hasDisc; });
  eject->setVisible(someDisc);
  noDrives->setVisible(state.drives.empty());
  noDisc->setVisible(!state.drives.empty() && !someDisc);
  discSection->setVisible(someDisc && state.discInfo);
  if (someDisc && state.discInfo) {
    renderDiscSection(state);
  }

  progressSection->setVisible(state.isRipping);
  if (state.isRipping) {
    importing->setText((state.readingAgain
                            ? localized("Reading track %1 of %2 again to check it...")
                            : localized("Importing track %1 of %2..."))
                           .arg(state.currentTrack)
                           .arg(state.totalTracks));
    overallText->setText(localized("Overall: %1%").arg(percent(state.overallProgress)));
    currentText->setText(localized("Current track: %1%").arg(percent(state.trackProgress)));
    overall->setValue(std::clamp(static_cast<int>(state.overallProgress * 1000), 0, 1000));
    current->setValue(std::clamp(static_cast<int>(state.trackProgress * 1000), 0, 1000));
    // The latest few only: a long disc must not push the window off the screen; every verdict
    // is in the completion summary and the rip log.
    constexpr qsizetype kVisibleVerdicts = 4;
    QStringList lines;
    if (const auto* running = std::get_if<state::ImportOutcomes::running>(&state.lastImport)) {
      for (const auto& [track, verdict] : running->verdicts) {
        lines << trackVerdictText(track, verdict);
      }
      for (const auto& [track, stretches] : running->damage) {
        lines << trackDamageText(track, stretches);
      }
    }
    lines = lines.mid(std::max<qsizetype>(0, lines.size() - kVisibleVerdicts));
    verdicts->setVisible(!lines.isEmpty());
    verdicts->setText(lines.join(QLatin1Char('\n')));
  }
  renderOutcome(state);

  const bool offerDetails = !state.isLookingUp && state.lookupReleases.empty() && state.discInfo;
  stop->setVisible(state.isRipping);
  addDetails->setVisible(!state.isRipping && offerDetails);
  import->setVisible(!state.isRipping && !offerDetails);
  import->setEnabled(state.discInfo.has_value());
}

void CDRipView::Parts::renderOutcome(const CDRipViewState& state) {
  const auto* completed = std::get_if<state::ImportOutcomes::completed>(&state.lastImport);
  completion->setVisible(completed != nullptr);
  const QString summary =
      completed ? ui::verificationSummary(completed->verdicts, completed->damage, state.totalTracks)
                : QString();
  verificationSummary->setVisible(!summary.isEmpty());
  verificationSummary->setText(summary);
  // A track that differs from the disc as others ripped it, or holds audio that could not be
  // read for certain, is no plain success.
  const bool warns = completed && completed->needsAttention();
  if (warns != completionWarns) {
    completionWarns = warns;
    const QColor color = warns ? kWarningColor : kSuccessColor;
    tint(completion, color);
    showSymbol(completionSymbol, warns ? "exclamationmark.triangle.fill" : "checkmark.circle.fill",
               color);
    completion->setAccessibleName(warns ? localized("Warning") : localized("Success"));
  }

  const auto* failed = std::get_if<state::ImportOutcomes::failed>(&state.lastImport);
  failure->setVisible(failed != nullptr);
  failureText->setText(failed ? fromStd(failed->message) : QString());
}

void CDRipView::Parts::forgetCoversOfAnotherDisc(const CDRipViewState& state) {
  if (state.discInfo != shownDisc) {
    shownDisc = state.discInfo;
    if (state.discInfo) {
      covers.clear();
      coverArtReleaseId.reset();
    }
  }
}

void CDRipView::Parts::renderDiscSection(const CDRipViewState& state) {
  lookingUp->setVisible(state.isLookingUp);
  lookupFailure->setVisible(!state.isLookingUp && state.lookupError);
  lookupError->setText(state.lookupError ? fromStd(*state.lookupError) : QString());

  picker->setVisible(state.lookupReleases.size() > 1);
  renderPicker(state);

  releaseBlock->setVisible(state.selectedRelease.has_value());
  if (state.selectedRelease) {
    renderRelease(*state.selectedRelease);
  }

  const bool unmatched = !state.isLookingUp && state.lookupReleases.empty() && state.lookupDiscId;
  noMatch->setVisible(unmatched);
  if (unmatched) {
    noMatch->setText(
        localized("No match found \u2014 disc ID: %1").arg(fromStd(*state.lookupDiscId)));
  }

  const auto& tracks = state.discInfo->tracks;
  audioTracks->setText(localized("%1 audio tracks").arg(tracks.size()));
  totalDuration->setText(
      localized("Total duration: %1").arg(fromStd(durationText(discSeconds(tracks)))));
}

void CDRipView::Parts::renderPicker(const CDRipViewState& state) {
  const QSignalBlocker quiet(releases);
  if (state.lookupReleases != pickerReleases) {
    pickerReleases = state.lookupReleases;
    releases->clear();
    for (const auto& release : pickerReleases) {
      releases->addItem(releaseEntry(release), fromStd(release.id));
    }
  }
  releases->setCurrentIndex(
      state.selectedRelease ? releases->findData(fromStd(state.selectedRelease->id)) : -1);
}

void CDRipView::Parts::renderRelease(const disc::CDLookupRelease& release) {
  artist->setText(fromStd(release.artistCredit));
  title->setText(fromStd(release.title));
  date->setVisible(release.date.has_value());
  date->setText(release.date ? fromStd(*release.date) : QString());
  trackCount->setText(localized("%1 tracks").arg(release.tracks.size()));
  const bool ofSeveral = release.discTotal.value_or(1) > 1;
  disc->setVisible(ofSeveral);
  disc->setText(ofSeveral ? localized("Disc %1 of %2")
                                .arg(release.discNumber.value_or(1))
                                .arg(*release.discTotal)
                          : QString());
  showCover(release);
}

void CDRipView::Parts::showCover(const disc::CDLookupRelease& release) {
  // Every render passes here, progress reports included; a cover already shown is not scaled
  // and laid out again. One still on its way is shown by coverArrived.
  if (coverArtReleaseId == release.id) {
    return;
  }
  coverArtReleaseId = release.id;
  const auto [known, isNew] = covers.try_emplace(release.id);
  setCover(known->second);
  if (!isNew || !release.caaId || !release.caaReleaseMbid) {
    return;
  }
  const std::string url =
      coverPreviewURL(services.web.coverArtArchive, *release.caaId, *release.caaReleaseMbid);
  runInBackground<std::optional<QImage>>(
      &view,
      [send = services.web.sender(), url](std::stop_token stop) {
        return fetchPreviewImage(send, url, std::move(stop)).image;
      },
      [this, id = release.id](std::optional<QImage> image) { coverArrived(id, std::move(image)); });
}

void CDRipView::Parts::coverArrived(const std::string& releaseId, std::optional<QImage> image) {
  const auto known = covers.find(releaseId);
  if (known == covers.end()) {
    return;  // asked for a disc that has been replaced since
  }
  known->second = std::move(image);
  // A late answer is kept for a later choice of its release but shown only while that release
  // is still the selected one.
  if (coverArtReleaseId == releaseId) {
    setCover(known->second);
  }
}

void CDRipView::Parts::setCover(const std::optional<QImage>& image) {
  cover->setVisible(image.has_value());
  if (!image) {
    cover->clear();
    return;
  }
  const qreal ratio = cover->devicePixelRatioF();
  QPixmap pixmap = QPixmap::fromImage(image->scaled(QSize(kCoverPixels, kCoverPixels) * ratio,
                                                    Qt::KeepAspectRatio, Qt::SmoothTransformation));
  pixmap.setDevicePixelRatio(ratio);
  cover->setPixmap(pixmap);
}

void CDRipView::Parts::chooseRelease(int index) {
  const std::string id = releases->itemData(index).toString().toStdString();
  const auto& offered = viewStore->state().lookupReleases;
  const auto chosen = std::find_if(offered.begin(), offered.end(),
                                   [&id](const disc::CDLookupRelease& r) { return r.id == id; });
  if (chosen != offered.end()) {
    dispatch(actions::selectRelease{*chosen});
  }
}

void CDRipView::Parts::askToStop() {
  if (stopConfirmation) {
    stopConfirmation->raise();
    return;
  }
  auto* box = new QMessageBox(
      QMessageBox::Warning, localized("Stop Importing?"),
      localized("This will stop the import and remove all files that have been imported so far."),
      QMessageBox::NoButton, &view);
  QAbstractButton* confirm =
      box->addButton(localized("Stop and Remove Files"), QMessageBox::DestructiveRole);
  QAbstractButton* cancel = box->addButton(localized("Cancel"), QMessageBox::RejectRole);
  confirm->setAccessibleName(confirm->text());
  cancel->setAccessibleName(cancel->text());
  box->setDefaultButton(qobject_cast<QPushButton*>(cancel));
  box->setEscapeButton(cancel);
  box->setWindowModality(Qt::WindowModal);
  box->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(box, &QMessageBox::buttonClicked, &view, [this, confirm](QAbstractButton* b) {
    if (b == confirm) {
      dispatch(actions::confirmStopRipping{});
    }
  });
  QObject::connect(box, &QDialog::finished, &view, [this] {
    showStopConfirmation = false;
    stopConfirmation = nullptr;
  });
  showStopConfirmation = true;
  stopConfirmation = box;
  box->open();
}

CDRipView::CDRipView(std::shared_ptr<state::AppStore> store, ViewServices services, QWidget* parent)
    : QWidget(parent),
      parts_(std::make_unique<Parts>(*this, std::move(store), std::move(services))) {
  parts_->build();
  const CDRipViewState& initial = parts_->viewStore->state();
  parts_->shownDisc = initial.discInfo;
  parts_->render(initial);
  parts_->changes =
      parts_->viewStore->onChange([this](const CDRipViewState& state) { parts_->render(state); });
}

CDRipView::~CDRipView() {
  // The confirmation's handlers reach into the parts, which go before the child widgets do.
  delete parts_->stopConfirmation.data();
}

}  // namespace noru::ui
