#pragma once

#include <QLabel>
#include <QString>

namespace noru::ui {

// A one-line label that cuts its text in the middle ("…") when it is wider than the label,
// never wrapping it.
class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  void setFullText(const QString& text);
  const QString& fullText() const { return fullText_; }

  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void elide();

  QString fullText_;
};

}  // namespace noru::ui
