#include "ui/root_view.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

#include "ui/cd_manual_entry_view.h"
#include "ui/cd_rip_view.h"
#include "ui/elided_label.h"
#include "ui/interface_style.h"

namespace noru::ui {

RootView::RootView(std::shared_ptr<state::AppStore> store, ViewServices services,
                   std::function<void()> chooseOutputFolder, QWidget* parent)
    : QWidget(parent),
      store_(std::move(store)),
      services_(std::move(services)),
      viewStore_(state::AppViewStore<RootViewState>::make(store_, &RootViewState::observe)),
      folderLabel_(new ElidedLabel) {
  auto* header = new QHBoxLayout;
  header->setSpacing(8);
  header->setContentsMargins(12, 8, 12, 8);

  auto* logoLabel = new QLabel;
  logoLabel->setPixmap(logo(44));
  logoLabel->setScaledContents(true);
  logoLabel->setFixedSize(22, 22);
  logoLabel->setAccessibleName(QStringLiteral("noru.cd"));
  header->addWidget(logoLabel);

  auto* folderSymbol = new QLabel;
  folderSymbol->setPixmap(systemSymbol(QStringLiteral("folder"), 16, secondaryColor(*this)));
  header->addWidget(folderSymbol);

  folderLabel_->setObjectName(QStringLiteral("libraryFolder"));
  folderLabel_->setFont(captionFont());
  header->addWidget(folderLabel_, 1);

  auto* choose = new QPushButton(localized("Choose\u2026"));
  choose->setFont(captionFont());
  choose->setAccessibleName(choose->text());
  connect(choose, &QPushButton::clicked, this,
          [chooseOutputFolder = std::move(chooseOutputFolder)] {
            if (chooseOutputFolder) {
              chooseOutputFolder();
            }
          });
  header->addWidget(choose);

  auto* divider = new QFrame;
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);

  auto* column = new QVBoxLayout(this);
  column->setSpacing(0);
  column->setContentsMargins(0, 0, 0, 0);
  column->addLayout(header);
  column->addWidget(divider);
  column->addWidget(new CDRipView(store_, services_), 1);

  render(viewStore_->state());
  changes_ = viewStore_->onChange([this](const RootViewState& state) { render(state); });
}

RootView::~RootView() {
  if (manualEntry_) {
    delete manualEntry_.data();
  }
}

QString RootView::folderText(const std::optional<std::string>& libraryPath, const QString& home) {
  if (!libraryPath) {
    return localized("No output folder selected");
  }
  const QString path = QString::fromStdString(*libraryPath);
  // Only the home folder itself or a folder inside it: "/home/ann2" is not inside "/home/ann".
  if (!home.isEmpty() && (path == home || path.startsWith(home + QLatin1Char('/')))) {
    return QStringLiteral("~") + path.mid(home.size());
  }
  return path;
}

void RootView::render(const RootViewState& state) {
  folderLabel_->setFullText(folderText(state.libraryPath, QDir::homePath()));
  QPalette palette = folderLabel_->palette();
  palette.setColor(QPalette::WindowText, state.libraryPath ? secondaryColor(*this) : kWarningColor);
  folderLabel_->setPalette(palette);
  presentManualEntry(state.isManualEntryPresented);
}

void RootView::presentManualEntry(bool presented) {
  if (presented && !manualEntry_) {
    manualEntry_ = new CDManualEntryView(store_, services_, window());
    manualEntry_->setWindowModality(Qt::WindowModal);
    manualEntry_->setMinimumSize(560, 480);
    manualEntry_->show();
  } else if (!presented && manualEntry_) {
    // The state closed the sheet (its own buttons dispatch that); nothing more to dispatch.
    manualEntry_->hide();
    manualEntry_->deleteLater();
    manualEntry_ = nullptr;
  }
}

}  // namespace noru::ui
