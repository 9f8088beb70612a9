#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QWidget;

namespace noru::ui {

// The interface fonts, each made once on first use: the family "Menlo" (the system's monospace
// face where Menlo is missing) at 20, 15 and 10 points, scaled with the desktop's font size.
const QFont& titleFont();
const QFont& bodyFont();
const QFont& captionFont();

// A fixed label: the English text is the translation key, shown as it is when no translation
// exists.
QString localized(const char* englishText);

// The dimmed text colour of `widget`'s palette, for secondary information.
QColor secondaryColor(const QWidget& widget);
inline const QColor kWarningColor{0xE6, 0x7E, 0x22};  // orange

// One of the symbols bundled with the program ("eject.fill", "folder", ...), drawn in `color`
// at `pixels` × `pixels`.
QPixmap systemSymbol(const QString& name, int pixels, const QColor& color);
QIcon systemSymbolIcon(const QString& name, const QColor& color);

// The application's logo, the bundled image "noru.cd".
QPixmap logo(int pixels);

}  // namespace noru::ui
