#pragma once
// The program's two looks, dark and light: the colours, a palette and one style sheet per theme.
// ApplyAppTheme() puts them on the application object, so every window, frame and dialog takes the
// current theme, also those created later.
#include <QColor>
#include <QPalette>
#include <QString>

class QWidget;

namespace qrv {

// Colours as ARGB values (alpha first).
constexpr QRgb kLinkColor = 0xFF14A9F5;        // links and progress strips of every window
constexpr QRgb kGrayColor = 0xFFA0A0A0;        // FGrayBrush
constexpr QRgb kSearchResColor = 0xFFB8860B;   // FSearchResBrush
constexpr QRgb kChangeTrackColor = 0xFFFFFF00; // FChangeTrackBrush

struct ThemeColors {
  bool dark = true;
  // The tree and grid colours of the window's brushes.
  QColor treeBG, treeText, treeSel, treeBGAlt, gridHeader;
  // Surfaces and text of the window chrome.
  QColor window;     // panels, tab row, dialogs
  QColor surface;    // raised surfaces: drop-down panels, menus
  QColor statusBar;
  QColor text;       // ordinary text
  QColor textMuted;  // captions, hints, empty-state text
  QColor border;
  QColor hover;      // background of a hovered item
  QColor pressed;    // background of a pressed or checked item
  QColor accent;     // selection and focus
  QColor link;
  QColor input;      // edit boxes
  QColor icon;       // themed icons
};

ThemeColors ThemeColorsFor(bool dark);
QPalette ThemePalette(bool dark);
QString ThemeStyleSheet(bool dark);

// Makes the theme the application's: Fusion style, palette, style sheet and icon colour; repaints every
// open window. Windows created afterwards take it as well.
void ApplyAppTheme(bool dark);
// The theme last applied (dark before any).
bool AppThemeIsDark();
const ThemeColors &AppThemeColors();

// Re-applies the theme to one container's widgets (a new tab or frame): refreshes their style and icons.
void ApplyThemeToContainer(QWidget *container);

}  // namespace qrv
