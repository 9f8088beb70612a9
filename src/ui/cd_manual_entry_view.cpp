#include "ui/cd_manual_entry_view.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedLayout>
#include <QToolButton>
#include <QUuid>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "disc/cd_lookup_release.h"
#include "lookup/search_cd.h"
#include "platform/http/http_client.h"
#include "platform/log/diagnostic_log.h"
#include "platform/tasks/runtime.h"
#include "ui/background_work.h"
#include "ui/cd_manual_entry_view_state.h"
#include "ui/duration_text.h"
#include "ui/interface_style.h"
#include "ui/preview_image.h"

namespace noru::ui {
namespace {

using namespace std::chrono_literals;
using platform::log::diagnostic;

constexpr int kCoverSide = 160;
constexpr int kCornerRadius = 8;

QColor withOpacity(QColor color, double opacity) {
  color.setAlphaF(opacity);
  return color;
}

QString rgba(const QColor& color) {
  return QStringLiteral("rgba(%1, %2, %3, %4)")
      .arg(color.red())
      .arg(color.green())
      .arg(color.blue())
      .arg(color.alphaF());
}

QLabel* captionLabel(const QString& text, const QColor& color) {
  auto* label = new QLabel(text);
  label->setFont(captionFont());
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, color);
  label->setPalette(palette);
  return label;
}

QString trackPlaceholder(std::size_t index) {
  return localized("Track ") + QString::number(index + 1);
}

// The track list's background and its tinted odd rows, clipped to rounded corners so that a
// tinted last row does not square them off.
class TrackList : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    painter.setClipPath(outline);
    const QColor tint = withOpacity(secondaryColor(*this), 0.05);
    painter.fillRect(rect(), tint);
    for (int row = 1; row < layout()->count(); row += 2) {
      painter.fillRect(layout()->itemAt(row)->geometry(), tint);
    }
  }
};

// The picture stretched over the whole cover box, its corners rounded like the box's.
QPixmap coverPicture(const QImage& image) {
  QPixmap picture(kCoverSide, kCoverSide);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
  QPainterPath outline;
  outline.addRoundedRect(QRectF(picture.rect()), kCornerRadius, kCornerRadius);
  painter.setClipPath(outline);
  painter.drawImage(picture.rect(), image);
  return picture;
}

std::optional<QString> chooseImageWithDialog(QWidget* parent) {
  QStringList patterns;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) {
    patterns << QStringLiteral("*.") + QString::fromLatin1(format);
  }
  const QString path =
      QFileDialog::getOpenFileName(parent, localized("Add Cover Art"), QString(),
                                   localized("Images") + QStringLiteral(" (") +
                                       patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
  if (path.isEmpty()) {
    return std::nullopt;
  }
  return path;
}

// The two dispatches that follow an import. They belong to no sheet: the root view deletes the
// sheet as soon as the state says it is closed, long before they are due.
class ImportFollowUp : public std::enable_shared_from_this<ImportFollowUp> {
 public:
  explicit ImportFollowUp(std::shared_ptr<state::AppStore> store) : store_(std::move(store)) {}

  static void start(std::shared_ptr<state::AppStore> store) {
    auto followUp = std::make_shared<ImportFollowUp>(std::move(store));
    followUp->after(400ms, [](ImportFollowUp& self) {
      self.store_->dispatch(state::UIAction(state::UIActions::setCDRipSheetPresented{true}));
      self.after(300ms, [](ImportFollowUp& later) {
        later.store_->dispatch(state::CDRipAction(state::CDRipActions::startRipping{}));
      });
    });
  }

 private:
  // Runs `step` once, `delay` from now. The timer's tick keeps this object alive and this object
  // keeps the timer: the tick hands its spent timer to a later turn of the queue, which ends
  // that cycle without destroying a timer inside its own tick.
  void after(std::chrono::milliseconds delay, void (*step)(ImportFollowUp&)) {
    timer_ = platform::tasks::mainQueue().schedule(
        delay, platform::tasks::TimerRepeat::once, [self = shared_from_this(), step] {
          platform::tasks::mainQueue().post(
              [spent = std::shared_ptr<platform::tasks::Timer>(std::move(self->timer_))] {});
          step(*self);
        });
  }

  std::shared_ptr<state::AppStore> store_;
  std::unique_ptr<platform::tasks::Timer> timer_;
};

// What the search gave, carried back to the main thread.
struct SearchOutcome {
  std::optional<lookup::LookupCD::Release> match;
  std::optional<std::string> error;
};

}  // namespace

struct CDManualEntryView::Parts {
  struct TrackRow {
    QLineEdit* name;
    QLabel* duration;
  };

  CDManualEntryView& view;
  std::shared_ptr<state::AppStore> store;
  ViewServices services;
  std::shared_ptr<state::AppViewStore<CDManualEntryViewState>> viewStore;
  store::Subscription changes;

  // The editing state of this showing. The texts live in the fields themselves and the cover
  // picture in its label.
  bool showingImagePicker = false;
  bool isSearching = false;
  std::optional<lookup::LookupCD::Release> matchedRelease;
  bool presented = true;

  QStackedLayout* coverPages = nullptr;
  QLabel* picture = nullptr;
  QLineEdit* artist = nullptr;
  QLineEdit* album = nullptr;
  QPushButton* lookUp = nullptr;
  QProgressBar* spinner = nullptr;
  QLabel* searchError = nullptr;
  QLabel* summary = nullptr;
  QPushButton* importDisc = nullptr;
  std::vector<TrackRow> rows;

  Parts(CDManualEntryView& view, std::shared_ptr<state::AppStore> store, ViewServices services)
      : view(view),
        store(std::move(store)),
        services(std::move(services)),
        viewStore(state::AppViewStore<CDManualEntryViewState>::make(
            this->store, &CDManualEntryViewState::observe)) {}

  QColor secondary() const { return secondaryColor(view); }

  QLayout* header() {
    auto* row = new QHBoxLayout;
    auto* title = new QLabel(localized("Add CD Details"));
    QFont font = titleFont();
    font.setBold(true);
    title->setFont(font);
    row->addWidget(title);
    row->addStretch();

    auto* close = new QToolButton;
    close->setAutoRaise(true);
    const int side = QFontMetrics(titleFont()).height();
    close->setIcon(systemSymbolIcon(QStringLiteral("xmark.circle.fill"), secondary()));
    close->setIconSize(QSize(side, side));
    close->setAccessibleName(localized("Close"));
    close->setFocusPolicy(Qt::NoFocus);
    QObject::connect(close, &QToolButton::clicked, &view, [this] { view.reject(); });
    row->addWidget(close);
    return row;
  }

  QWidget* coverBoxWidget() {
    auto* coverBox = new QPushButton;
    coverBox->setFixedSize(kCoverSide, kCoverSide);
    coverBox->setAutoDefault(false);
    coverBox->setAccessibleName(localized("Add Cover Art"));
    coverBox->setStyleSheet(QStringLiteral("QPushButton { border: none; border-radius: %1px; "
                                           "background-color: %2; }")
                                .arg(kCornerRadius)
                                .arg(rgba(withOpacity(secondary(), 0.10))));

    auto* placeholder = new QWidget;
    auto* column = new QVBoxLayout(placeholder);
    column->addStretch();
    auto* symbol = new QLabel;
    const int side = QFontMetrics(titleFont()).height();
    symbol->setPixmap(systemSymbol(QStringLiteral("photo.badge.plus"), side, secondary()));
    symbol->setAlignment(Qt::AlignCenter);
    column->addWidget(symbol);
    auto* text = captionLabel(localized("Add Cover Art"), secondary());
    text->setAlignment(Qt::AlignCenter);
    column->addWidget(text);
    column->addStretch();

    picture = new QLabel;
    coverPages = new QStackedLayout(coverBox);
    coverPages->setContentsMargins(0, 0, 0, 0);
    coverPages->addWidget(placeholder);
    coverPages->addWidget(picture);
    for (QWidget* page : {placeholder, static_cast<QWidget*>(picture)}) {
      page->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QObject::connect(coverBox, &QPushButton::clicked, &view, [this] { chooseCover(); });
    return coverBox;
  }

  QLineEdit* labelledField(QVBoxLayout* column, const char* label, const char* placeholder) {
    column->addWidget(captionLabel(localized(label), secondary()));
    auto* field = new QLineEdit;
    field->setFont(bodyFont());
    field->setPlaceholderText(localized(placeholder));
    field->setAccessibleName(localized(label));
    QObject::connect(field, &QLineEdit::textChanged, &view, [this] { updateControls(); });
    column->addWidget(field);
    return field;
  }

  QLayout* descriptionColumn() {
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    artist = labelledField(column, "Artist", "Artist name");
    album = labelledField(column, "Album", "Album title");

    auto* lookUpRow = new QHBoxLayout;
    spinner = new QProgressBar;
    spinner->setRange(0, 0);  // indeterminate: a busy indicator
    spinner->setTextVisible(false);
    spinner->setFixedSize(32, 12);
    spinner->hide();
    lookUpRow->addWidget(spinner);
    lookUp = new QPushButton(localized("Look Up"));
    lookUp->setFont(captionFont());
    lookUp->setAccessibleName(lookUp->text());
    lookUp->setAutoDefault(false);
    QObject::connect(lookUp, &QPushButton::clicked, &view, [this] { startLookUp(); });
    lookUpRow->addWidget(lookUp);
    lookUpRow->addStretch();
    column->addLayout(lookUpRow);

    searchError = captionLabel(QString(), kWarningColor);
    searchError->hide();
    column->addWidget(searchError);
    summary = captionLabel(QString(), secondary());
    column->addWidget(summary);
    column->addStretch();
    return column;
  }

  // One row per track of the disc as it is now; the rows stay as they are for this showing.
  QWidget* tracksSection(const std::optional<disc::CDDiscInfo>& disc) {
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(captionLabel(localized("Tracks"), secondary()));
    auto* list = new TrackList;
    auto* listRows = new QVBoxLayout(list);
    listRows->setContentsMargins(0, 0, 0, 0);
    listRows->setSpacing(0);
    const std::size_t count = disc ? disc->tracks.size() : 0;
    for (std::size_t index = 0; index < count; ++index) {
      auto* row = new QHBoxLayout;
      row->setContentsMargins(8, 6, 8, 6);
      auto* number = captionLabel(QString::number(index + 1), secondary());
      number->setFixedWidth(24);
      number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      row->addWidget(number);
      auto* name = new QLineEdit;
      name->setFrame(false);
      name->setFont(bodyFont());
      name->setPlaceholderText(trackPlaceholder(index));
      name->setAccessibleName(trackPlaceholder(index));
      name->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
      row->addWidget(name, 1);
      auto* duration = captionLabel(QString(), secondary());
      row->addWidget(duration);
      listRows->addLayout(row);
      rows.push_back({name, duration});
    }
    column->addWidget(list);
    section->setVisible(count > 0);
    return section;
  }

  // A disc no release was offered for starts with what its own text (CD-Text) names, if any.
  void fillFromDiscText() {
    const auto& state = viewStore->state();
    if (!state.discInfo || state.lookupOfferedReleases) {
      return;
    }
    const auto& text = state.discInfo->facts.text;
    if (text.albumPerformer) {
      artist->setText(QString::fromStdString(*text.albumPerformer));
    }
    if (text.albumTitle) {
      album->setText(QString::fromStdString(*text.albumTitle));
    }
    const auto& tracks = state.discInfo->tracks;
    for (std::size_t index = 0; index < rows.size() && index < tracks.size(); ++index) {
      const auto title = text.trackTitles.find(static_cast<int>(tracks[index].number));
      if (title != text.trackTitles.end()) {
        rows[index].name->setText(QString::fromStdString(title->second));
      }
    }
  }

  QLayout* buttonRow() {
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* cancel = new QPushButton(localized("Cancel"));
    cancel->setFont(bodyFont());
    cancel->setAccessibleName(cancel->text());
    cancel->setAutoDefault(false);
    QObject::connect(cancel, &QPushButton::clicked, &view, [this] { view.reject(); });
    row->addWidget(cancel);
    importDisc = new QPushButton(localized("Import Disc"));
    importDisc->setFont(bodyFont());
    importDisc->setAccessibleName(importDisc->text());
    importDisc->setDefault(true);
    importDisc->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: #D93025; color: white; border: none; border-radius: 6px;"
        " padding: 6px 16px; } QPushButton:pressed { background-color: #B3261E; }"
        " QPushButton:disabled { background-color: rgba(217, 48, 37, 0.35); }"));
    QObject::connect(importDisc, &QPushButton::clicked, &view, [this] { importRelease(); });
    row->addWidget(importDisc);
    return row;
  }

  void build() {
    auto* content = new QWidget;
    auto* sections = new QVBoxLayout(content);
    sections->setSpacing(24);
    auto* top = new QHBoxLayout;
    top->setSpacing(16);
    top->addWidget(coverBoxWidget(), 0, Qt::AlignTop);
    top->addLayout(descriptionColumn(), 1);
    sections->addLayout(top);
    sections->addWidget(tracksSection(viewStore->state().discInfo));
    sections->addStretch();

    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* page = new QVBoxLayout(&view);
    page->addLayout(header());
    page->addWidget(scroll, 1);
    page->addLayout(buttonRow());
  }

  // What depends on the disc (it may come or go while the sheet is open) and on the fields.
  void render() {
    const auto& disc = viewStore->state().discInfo;
    summary->setVisible(disc.has_value());
    if (disc) {
      summary->setText(QString::number(disc->tracks.size()) + localized(" tracks \u00B7 ") +
                       QString::fromStdString(durationText(discSeconds(disc->tracks))));
    }
    for (std::size_t index = 0; index < rows.size(); ++index) {
      const bool hasTrack = disc && index < disc->tracks.size();
      rows[index].duration->setVisible(hasTrack);
      if (hasTrack) {
        rows[index].duration->setText(
            QString::fromStdString(durationText(trackSeconds(disc->tracks[index]))));
      }
    }
    updateControls();
  }

  // Emptiness is zero characters: a text of spaces counts as filled.
  void updateControls() {
    const bool described = !artist->text().isEmpty() && !album->text().isEmpty();
    lookUp->setEnabled(described && !isSearching && viewStore->state().discInfo.has_value());
    importDisc->setEnabled(described);
  }

  void setSearching(bool searching) {
    isSearching = searching;
    spinner->setVisible(searching);
    lookUp->setIcon(searching ? QIcon()
                              : systemSymbolIcon(QStringLiteral("magnifyingglass"), secondary()));
    updateControls();
  }

  void setSearchError(const std::optional<QString>& message) {
    searchError->setText(message.value_or(QString()));
    searchError->setVisible(message.has_value());
  }

  void setCover(const QImage& image) {
    picture->setPixmap(coverPicture(image));
    coverPages->setCurrentWidget(picture);
  }

  void chooseCover() {
    if (showingImagePicker || !view.chooseImageFile) {
      return;
    }
    showingImagePicker = true;
    const auto path = view.chooseImageFile(&view);
    showingImagePicker = false;
    if (!path) {
      return;
    }
    // There is no sandbox here: a file that cannot be read simply fails to load.
    QImage image;
    if (image.load(*path)) {
      setCover(image);
    }
  }

  void startLookUp() {
    const auto& disc = viewStore->state().discInfo;
    if (!disc) {
      return;
    }
    setSearching(true);
    setSearchError(std::nullopt);
    runInBackground<SearchOutcome>(
        &view,
        [search = services.search, artist = artist->text().toStdString(),
         album = album->text().toStdString(), tracks = disc->tracks](std::stop_token stop) {
          SearchOutcome outcome;
          try {
            auto response = search(artist, album, tracks, std::move(stop));
            if (!response.releases.empty()) {
              outcome.match = std::move(response.releases.front());
            }
          } catch (const std::exception& error) {
            outcome.error = error.what();
          }
          return outcome;
        },
        [this](SearchOutcome outcome) { applySearch(std::move(outcome)); });
  }

  void failLookUp(const std::string& error) {
    diagnostic("SearchCD: error \u2014 ", error);
    setSearchError(localized("No matches"));
    setSearching(false);
  }

  // A look-up that ends after the sheet was closed changes nothing.
  void applySearch(SearchOutcome outcome) {
    if (!presented) {
      return;
    }
    if (outcome.error) {
      failLookUp(*outcome.error);
      return;
    }
    if (!outcome.match) {
      setSearchError(localized("No matches"));
      setSearching(false);
      return;
    }
    const auto& match = *outcome.match;
    diagnostic("SearchCD: matched '", match.artistCredit, "' \u2014 '", match.title,
               "', caaId=", match.caaId ? std::to_string(*match.caaId) : "nil",
               ", caaReleaseMbid=", match.caaReleaseMbid.value_or("nil"));
    matchedRelease = match;
    artist->setText(QString::fromStdString(match.artistCredit));
    album->setText(QString::fromStdString(match.title));
    // The rows are the disc's tracks from 1 on; a hidden track 0 has none.
    auto sorted = match.tracks;
    std::erase_if(sorted, [](const auto& track) { return track.number < 1; });
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.number < b.number; });
    for (std::size_t index = 0; index < std::min(sorted.size(), rows.size()); ++index) {
      rows[index].name->setText(QString::fromStdString(sorted[index].title));
    }

    if (!match.caaId || !match.caaReleaseMbid) {
      setSearching(false);
      return;
    }
    const std::string url =
        coverPreviewURL(services.web.coverArtArchive, *match.caaId, *match.caaReleaseMbid);
    if (!platform::http::isValidHttpUrl(url)) {
      setSearching(false);
      return;
    }
    diagnostic("SearchCD: fetching cover art from ", url);
    runInBackground<PreviewAnswer>(
        &view,
        [send = services.web.sender(), url](std::stop_token stop) {
          return fetchPreviewImage(send, url, std::move(stop));
        },
        [this](PreviewAnswer answer) { applyPreview(std::move(answer)); });
  }

  void applyPreview(PreviewAnswer answer) {
    if (!presented) {
      return;
    }
    if (answer.failure) {
      failLookUp(*answer.failure);
      return;
    }
    diagnostic("SearchCD: cover art response ", answer.status, ", ", answer.byteCount, " bytes");
    if (answer.image) {
      setCover(*answer.image);
    }
    setSearching(false);
  }

  // The release as the sheet describes it: the match's identity and track list under the names
  // typed here, or a release of our own made from the disc's rows.
  disc::CDLookupRelease release() const {
    const std::string artistText = artist->text().toStdString();
    const std::string albumText = album->text().toStdString();
    if (matchedRelease) {
      auto release = matchedRelease->toCDLookupRelease();
      release.title = albumText;
      release.artistCredit = artistText;
      // The rows show the match's tracks sorted by number, so row k names the k-th track in
      // that order, wherever the service listed it; the release keeps the service's order.
      std::vector<std::size_t> byNumber(release.tracks.size());
      std::iota(byNumber.begin(), byNumber.end(), std::size_t{0});
      std::erase_if(byNumber, [&](std::size_t index) { return release.tracks[index].number < 1; });
      std::stable_sort(byNumber.begin(), byNumber.end(), [&](std::size_t a, std::size_t b) {
        return release.tracks[a].number < release.tracks[b].number;
      });
      for (std::size_t row = 0; row < std::min(byNumber.size(), rows.size()); ++row) {
        if (const QString name = rows[row].name->text(); !name.isEmpty()) {
          release.tracks[byNumber[row]].title = name.toStdString();
        }
      }
      return release;
    }
    disc::CDLookupRelease release{
        .id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString(),
        .title = albumText,
        .artistCredit = artistText,
    };
    const auto& disc = viewStore->state().discInfo;
    for (std::size_t index = 0; index < rows.size(); ++index) {
      const QString name = rows[index].name->text();
      disc::CDLookupTrack track{
          .number = static_cast<std::int64_t>(index + 1),
          .title = name.isEmpty() ? "Track " + std::to_string(index + 1) : name.toStdString(),
          .artistCredit = artistText,
      };
      if (disc && index < disc->tracks.size()) {
        // The same rule as the search's durations: 603 sectors are 8039 ms.
        track.lengthMs = static_cast<std::int64_t>(
            static_cast<double>(disc->tracks[index].sectorCount) / 75.0 * 1000.0);
      }
      release.tracks.push_back(std::move(track));
    }
    return release;
  }

  void importRelease() {
    if (!presented) {
      return;
    }
    store->dispatch(state::CDRipAction(state::CDRipActions::selectRelease{release()}));
    view.accept();
    close();
    ImportFollowUp::start(store);
  }

  // The sheet's own way of closing: the state learns of it once, however many ways are tried.
  void close() {
    if (std::exchange(presented, false)) {
      store->dispatch(state::UIAction(state::UIActions::setCDManualEntryPresented{false}));
    }
  }
};

CDManualEntryView::CDManualEntryView(std::shared_ptr<state::AppStore> store, ViewServices services,
                                     QWidget* parent)
    : QDialog(parent),
      chooseImageFile(chooseImageWithDialog),
      parts_(std::make_unique<Parts>(*this, std::move(store), std::move(services))) {
  setWindowTitle(localized("Add CD Details"));
  setMinimumSize(480, 400);
  parts_->build();
  parts_->fillFromDiscText();
  parts_->setSearching(false);
  parts_->render();
  parts_->changes =
      parts_->viewStore->onChange([this](const CDManualEntryViewState&) { parts_->render(); });
}

CDManualEntryView::~CDManualEntryView() = default;

void CDManualEntryView::reject() {
  QDialog::reject();
  parts_->close();
}

}  // namespace noru::ui
