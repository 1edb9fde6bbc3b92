#include "core/theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>

#include "library/icons.h"

namespace qrv {

namespace {

bool g_dark = true;

QColor argb(QRgb v) { return QColor::fromRgba(v); }

}  // namespace

ThemeColors ThemeColorsFor(bool dark) {
  ThemeColors c;
  c.dark = dark;
  if (dark) {
    c.treeBG = argb(0xFF20262F);
    c.treeText = argb(0xFFFFFFFF);
    c.treeSel = argb(0xFF14A9F5);
    c.treeBGAlt = argb(0xFF262D37);
    c.gridHeader = argb(0xFF2B333E);
    c.window = argb(0xFF2B333E);
    c.surface = argb(0xFF323B48);
    c.statusBar = argb(0xFF232A33);
    c.text = argb(0xFFE6EAF0);
    c.textMuted = argb(0xFF8D97A5);
    c.border = argb(0xFF3B4552);
    c.hover = argb(0xFF3A4553);
    c.pressed = argb(0xFF465264);
    c.accent = argb(0xFF14A9F5);
    c.input = argb(0xFF20262F);
    c.icon = argb(0xFFD3DAE3);
  } else {
    c.treeBG = argb(0xFFFFFFFF);
    c.treeText = argb(0xFF3F454B);
    c.treeSel = argb(0xFF3B99FD);
    c.treeBGAlt = argb(0xFFF3F3F3);
    c.gridHeader = argb(0xFFFAFBFC);
    c.window = argb(0xFFF3F4F6);
    c.surface = argb(0xFFFFFFFF);
    c.statusBar = argb(0xFFE8EBEF);
    c.text = argb(0xFF3F454B);
    c.textMuted = argb(0xFF7B838D);
    c.border = argb(0xFFD3D8DF);
    c.hover = argb(0xFFE4ECF6);
    c.pressed = argb(0xFFD2E2F4);
    c.accent = argb(0xFF3B99FD);
    c.input = argb(0xFFFFFFFF);
    c.icon = argb(0xFF4A525C);
  }
  c.link = argb(kLinkColor);
  return c;
}

QPalette ThemePalette(bool dark) {
  const ThemeColors c = ThemeColorsFor(dark);
  QPalette p;
  p.setColor(QPalette::Window, c.window);
  p.setColor(QPalette::WindowText, c.text);
  p.setColor(QPalette::Base, c.treeBG);
  p.setColor(QPalette::AlternateBase, c.treeBGAlt);
  p.setColor(QPalette::Text, c.text);
  p.setColor(QPalette::PlaceholderText, c.textMuted);
  p.setColor(QPalette::Button, c.surface);
  p.setColor(QPalette::ButtonText, c.text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, c.treeSel);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, c.link);
  p.setColor(QPalette::LinkVisited, c.link);
  p.setColor(QPalette::ToolTipBase, c.surface);
  p.setColor(QPalette::ToolTipText, c.text);
  p.setColor(QPalette::Light, c.hover);
  p.setColor(QPalette::Midlight, c.border);
  p.setColor(QPalette::Mid, c.border);
  p.setColor(QPalette::Dark, c.statusBar);
  p.setColor(QPalette::Shadow, dark ? QColor(0, 0, 0) : QColor(0x9A, 0xA1, 0xAB));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, c.textMuted);
  return p;
}

QString ThemeStyleSheet(bool dark) {
  const ThemeColors c = ThemeColorsFor(dark);
  auto n = [](const QColor &col) { return col.name(QColor::HexRgb); };
  QString s = QStringLiteral(R"(
QMainWindow, QDialog { background: @window; color: @text; }
QWidget { color: @text; }
QToolTip { background: @surface; color: @text; border: 1px solid @border; padding: 4px 6px; }

/* Window chrome */
QWidget#loLeft, QWidget#loClient, QWidget#loBody { background: @window; }
QWidget#loDBTreeFilter { background: @window; }
QWidget#grTree { background: @treeBG; border: 1px solid @border; border-radius: 3px; }
QWidget#floTabs { background: @window; }
QTabWidget#TC::pane { border: 1px solid @border; border-radius: 3px; background: @treeBG; top: 0px; }
QLabel#lbEmptyState { color: @muted; background: transparent; }
QStatusBar#SB { background: @status; border-top: 1px solid @border; }
QStatusBar#SB::item { border: none; }
QLabel#lbStatus0 { color: @text; padding-left: 4px; }
QWidget#loStatusBarToolTip { background: transparent; }
QLabel#lbStatusBarToolTip { color: @muted; }
QToolButton#sbCloseStatusBarToolTip { border: none; border-radius: 3px; padding: 0px; }
QToolButton#sbCloseStatusBarToolTip:hover { background: @hover; }

/* Flat tool buttons of the tab row, the tree filter and the default-database bar */
QToolButton { background: transparent; border: 1px solid transparent; border-radius: 4px; padding: 3px; }
QToolButton:hover { background: @hover; }
QToolButton:pressed, QToolButton:checked { background: @pressed; }
QToolButton:disabled { background: transparent; }
QToolButton#sbDefaultDB { text-align: left; padding: 2px 6px; border-top: 1px solid @border; border-radius: 0px; }
QToolButton#sbDefaultDB:hover { background: @hover; }

/* Drop-down panels */
QFrame#pnMM, QFrame#pnRecentFiles, QFrame#pnFilterSettings {
  background: @surface; border: 1px solid @border; border-radius: 6px; }
QLabel[qrvCaption="true"] { color: @muted; background: transparent; padding: 0px 6px; }
QAbstractButton[qrvMenuItem="true"] { background: transparent; border: none; border-radius: 4px; }
QAbstractButton[qrvMenuItem="true"]:hover { background: @hover; }
QFrame#pnFilterSettings QCheckBox { padding: 3px 4px; background: transparent; }

/* Edits, combo boxes and lists */
QLineEdit, QComboBox, QSpinBox, QPlainTextEdit, QTextEdit {
  background: @input; color: @text; border: 1px solid @border; border-radius: 4px;
  selection-background-color: @accent; selection-color: #ffffff; }
QLineEdit, QComboBox, QSpinBox { padding: 3px 6px; min-height: 18px; }
QLineEdit:focus, QComboBox:focus, QSpinBox:focus, QPlainTextEdit:focus, QTextEdit:focus { border: 1px solid @accent; }
QComboBox::drop-down { border: none; width: 18px; }
QComboBox QAbstractItemView { background: @surface; border: 1px solid @border; selection-background-color: @accent; }
QListView, QListWidget, QTreeView, QTableView {
  background: @treeBG; alternate-background-color: @treeBGAlt; border: 1px solid @border; border-radius: 4px;
  selection-background-color: @treeSel; selection-color: #ffffff; outline: 0; }
QListView::item, QListWidget::item { padding: 3px 4px; border-radius: 3px; }
QListView::item:hover, QListWidget::item:hover { background: @hover; }
QListView::item:selected, QListWidget::item:selected { background: @treeSel; color: #ffffff; }
QHeaderView::section { background: @gridHeader; color: @text; border: none;
  border-right: 1px solid @border; border-bottom: 1px solid @border; padding: 3px 6px; }

/* Push buttons of dialogs */
QPushButton { background: @surface; color: @text; border: 1px solid @border; border-radius: 4px;
  padding: 4px 14px; min-height: 18px; }
QPushButton:hover { background: @hover; }
QPushButton:pressed, QPushButton:checked { background: @pressed; }
QPushButton:default { border: 1px solid @accent; }
QPushButton:disabled { color: @muted; }

/* Menus */
QMenu { background: @surface; border: 1px solid @border; padding: 4px; }
QMenu::item { padding: 5px 24px 5px 10px; border-radius: 4px; background: transparent; }
QMenu::item:selected { background: @hover; color: @text; }
QMenu::item:disabled { color: @muted; }
QMenu::separator { height: 1px; background: @border; margin: 4px 6px; }
QMenu::icon { padding-left: 6px; }

/* Scroll bars: slim and quiet */
QScrollBar:vertical { background: transparent; width: 10px; margin: 0px; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 0px; }
QScrollBar::handle:vertical { background: @border; min-height: 24px; border-radius: 4px; margin: 1px 2px; }
QScrollBar::handle:horizontal { background: @border; min-width: 24px; border-radius: 4px; margin: 2px 1px; }
QScrollBar::handle:hover { background: @muted; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0px; height: 0px; }
QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }

QSplitter::handle { background: @window; }
QCheckBox, QRadioButton { background: transparent; spacing: 6px; }
)");
  // Longer names first, so that "@treeBGAlt" is not taken for "@treeBG" + "Alt".
  const std::pair<const char *, QColor> vars[] = {
      {"@treeBGAlt", c.treeBGAlt}, {"@treeBG", c.treeBG},   {"@treeSel", c.treeSel}, {"@gridHeader", c.gridHeader},
      {"@window", c.window},       {"@surface", c.surface}, {"@status", c.statusBar}, {"@text", c.text},
      {"@muted", c.textMuted},     {"@border", c.border},   {"@hover", c.hover},      {"@pressed", c.pressed},
      {"@accent", c.accent},       {"@input", c.input},
  };
  for (const auto &[k, v] : vars) s.replace(QLatin1String(k), n(v));
  return s;
}

static ThemeColors &currentColors() {
  static ThemeColors c = ThemeColorsFor(true);
  return c;
}

void ApplyAppTheme(bool dark) {
  g_dark = dark;
  currentColors() = ThemeColorsFor(dark);
  SetIconColor(currentColors().icon);
  auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
  if (!app) return;
  if (QApplication::style()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QApplication::setPalette(ThemePalette(dark));
  app->setStyleSheet(ThemeStyleSheet(dark));
  for (QWidget *w : QApplication::topLevelWidgets()) ApplyThemeToContainer(w);
}

bool AppThemeIsDark() { return g_dark; }
const ThemeColors &AppThemeColors() { return currentColors(); }

void ApplyThemeToContainer(QWidget *container) {
  if (!container) return;
  // Themed icons draw in the icon colour at paint time; buttons only need a repaint. Widgets with a
  // style sheet of their own are re-polished so that they pick up the new palette.
  const auto children = container->findChildren<QWidget *>();
  for (QWidget *w : children) {
    if (!w->styleSheet().isEmpty()) {
      w->style()->unpolish(w);
      w->style()->polish(w);
    }
    w->update();
  }
  container->update();
}

}  // namespace qrv
