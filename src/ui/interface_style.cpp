#include "ui/interface_style.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFontInfo>
#include <QPainter>
#include <QPalette>
#include <QSvgRenderer>
#include <QWidget>

#include <algorithm>

namespace noru::ui {
namespace {

// Sizes are given for a desktop whose ordinary text is 10 points.
QFont interfaceFont(double points) {
  const double desktopPoints = QApplication::font().pointSizeF();
  const double scale = desktopPoints > 0 ? std::clamp(desktopPoints / 10.0, 0.75, 2.0) : 1.0;
  QFont font(QStringLiteral("Menlo"));
  font.setStyleHint(QFont::Monospace);
  font.setPointSizeF(points * scale);
  return font;
}

QPixmap renderSvg(const QString& resource, int pixels) {
  QPixmap pixmap(pixels, pixels);
  pixmap.fill(Qt::transparent);
  QSvgRenderer renderer(resource);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  return pixmap;
}

}  // namespace

const QFont& titleFont() {
  static const QFont font = interfaceFont(20);
  return font;
}

const QFont& bodyFont() {
  static const QFont font = interfaceFont(15);
  return font;
}

const QFont& captionFont() {
  static const QFont font = interfaceFont(10);
  return font;
}

QString localized(const char* englishText) {
  return QCoreApplication::translate("Noru", englishText);
}

QColor secondaryColor(const QWidget& widget) {
  QColor color = widget.palette().color(QPalette::WindowText);
  color.setAlphaF(0.55);
  return color;
}

QPixmap systemSymbol(const QString& name, int pixels, const QColor& color) {
  // The drawings are black shapes (with white cut-outs); the black takes `color`.
  QPixmap shape = renderSvg(QStringLiteral(":/symbols/%1.svg").arg(name), pixels);
  QImage image = shape.toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = line[x];
      const int alpha = qAlpha(pixel);
      if (alpha == 0 || qGray(pixel) > 128) {
        continue;  // transparent, or a white cut-out
      }
      line[x] = qRgba(color.red(), color.green(), color.blue(), alpha * color.alpha() / 255);
    }
  }
  return QPixmap::fromImage(image);
}

QIcon systemSymbolIcon(const QString& name, const QColor& color) {
  QIcon icon;
  for (int pixels : {16, 24, 32, 48}) {
    icon.addPixmap(systemSymbol(name, pixels, color));
  }
  return icon;
}

QPixmap logo(int pixels) {
  return renderSvg(QStringLiteral(":/noru.cd.svg"), pixels);
}

}  // namespace noru::ui
