#pragma once
// The program's own icons: small SVG drawings rendered at whatever size and pixel ratio is asked for,
// so they stay crisp on high-DPI screens.
//
// Monochrome icons follow the icon colour of the current theme (light strokes on a dark background and
// dark strokes on a light one); repainting a widget after SetIconColor() shows the new colour. Coloured
// icons keep their own colour in every theme.
#include <QColor>
#include <QIcon>
#include <QString>
#include <QStringList>

namespace qrv {

// A themed icon by name (see KxIconNames()); an unknown name gives a null icon.
QIcon KxIcon(const QString &name);
// The same drawing in a fixed colour that no theme changes.
QIcon KxIcon(const QString &name, const QColor &fixedColor);

// Every icon name that KxIcon knows.
QStringList KxIconNames();

// The SVG text of an icon with its strokes in the given colour (empty for an unknown name).
QByteArray KxIconSvg(const QString &name, const QColor &color);

// The colour of themed icons; the theme sets it.
void SetIconColor(const QColor &color);
QColor IconColor();

}  // namespace qrv
