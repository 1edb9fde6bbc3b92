// The main window, driven as a real window on the offscreen platform.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

#include "core/mainwindow.h"
#include "core/programbody.h"
#include "core/theme.h"
#include "library/icons.h"
#include "support/testsupport.h"
#include "util/inifile.h"

using namespace qrv;

namespace {

// A settings directory of its own, and a window over its Settings.ini that can be closed and started again.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(home.settingsDir());
    iniPath = home.settingsDir() + QStringLiteral("Settings.ini");
  }
  void TearDown() override {
    win.reset();
    ini.reset();
  }

  void writeSettings(const QString &text) {
    IniFile f(iniPath);
    f.setText(text);
    ASSERT_TRUE(f.updateFile());
  }

  TfrmQRV &start() {
    win.reset();
    ini = std::make_unique<IniFile>(iniPath);
    win = std::make_unique<TfrmQRV>(ini.get());
    return *win;
  }

  TfrmQRV &startShown() {
    TfrmQRV &w = start();
    w.show();
    QApplication::setActiveWindow(&w);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    return w;
  }

  // Closes the window the way the user does (close query and all) and frees it.
  void closeWindow() {
    ASSERT_TRUE(win);
    EXPECT_TRUE(win->close());
    win.reset();
    ini.reset();
  }

  IniFile savedSettings() const { return IniFile(iniPath); }

  qrvtest::TempConfigHome home;
  QString iniPath;
  std::unique_ptr<IniFile> ini;
  std::unique_ptr<TfrmQRV> win;
};

// A stand-in for the SQL frame of the current tab: it records what the window asks of it.
struct FakeFrame : TQueryFrameKeys {
  bool editorFocus = true, completion = false, findPanel = false;
  int keyTab = 0, insertTab = 0, hideCompletion = 0, closeFind = 0, showHideRS = 0, execute = 0;
  QWidget *editor = nullptr;
  QWidget *last = nullptr;

  bool EditorHasFocus() const override { return editorFocus; }
  bool CompletionListVisible() const override { return completion; }
  void EditorKeyTab() override { ++keyTab; }
  void EditorInsertTab() override { ++insertTab; }
  void HideCompletionList() override { ++hideCompletion; }
  bool FindPanelVisible() const override { return findPanel; }
  void CloseFindPanel() override { ++closeFind; }
  void ShowHideRS() override { ++showHideRS; }
  void ExecuteSQL() override { ++execute; }
  QWidget *Editor() const override { return editor; }
  QWidget *LastActiveControl() const override { return last; }
  void SetLastActiveControl(QWidget *w) override { last = w; }
  int calls() const { return keyTab + insertTab + hideCompletion + closeFind + showHideRS + execute; }
};

QColor centerPixel(QWidget *w) {
  const QImage img = w->grab().toImage();
  return img.pixelColor(img.width() / 2, img.height() / 2);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The command table

TEST_F(MainWindowTest, EveryCommandExistsWithItsCategoryTextShortcutAndHint) {
  struct Row {
    const char *name, *category, *text, *keys, *hint;
  };
  const Row rows[] = {
      {"acNewQuery", "Main", "", "Ctrl+N", "Create new SQL tab for default database"},
      {"acOpenFile", "Main", "Open File...", "Ctrl+O", ""},
      {"acNewConnection", "Tree", "New Connection...", "", ""},
      {"acEditConnection", "Tree", "Edit Connection...", "", ""},
      {"acDeleteConnection", "Tree", "Delete Connection", "", ""},
      {"acAddDBToTree", "Tree", "Add Database...", "", "Add new database item to the tree"},
      {"acDeleteDBFromTree", "Tree", "Delete Database", "", "Delete database from the tree"},
      {"acNewQueryByTree", "Tree", "New Query...", "", "Create new SQL tab for selected database"},
      {"acEditTable", "Tree", "Open Table...", "", "Open table for edit, import, or export data"},
      {"acSetDefaultDB", "Tree", "Set Database as Default", "", ""},
      {"acSaveFile", "Tabs", "Save File", "Ctrl+S", ""},
      {"acSaveFileAs", "Tabs", "Save File As...", "Ctrl+Shift+S", ""},
      {"acCloseCurrFrame", "Tabs", "Close Current", "Alt+C", "Close current tab"},
      {"acCopyTreeItemPath", "Tree", "Copy Full Path", "", "Copy the DB tree item path to use it in cross-DBMS queries"},
      {"acShowTablesCompletionList", "Other", "", "Ctrl+Space", ""},
      {"acCloseAllTabs", "Tabs", "Close All", "", "Close all tabs"},
      {"acCloseAllButThis", "Tabs", "Close All But This", "", "Close all tabs, other than current one"},
      {"acScriptCreate", "Tree", "CREATE", "", "Show DDL script"},
      {"acScriptSelect", "Tree", "SELECT", "", "Show DQL script (tables and views only)"},
      {"acZenMode", "Main", "Zen Mode", "F11", "Toggle Zen Mode"},
      {"acStayOnTop", "Main", "Stay on Top", "", "Check to pin the app above all other windows"},
      {"acScriptMapper", "Main", "Script Mapper...", "", "Tool for SQL script creation based upon your template"},
      {"acNewGUID", "Main", "Get New GUID", "", "Generate new GUID (UUID) and copy it to clipboard"},
      {"acOptions", "Main", "Options...", "F12", ""},
      {"acNextTab", "Other", "Next Tab", "Ctrl+Tab", ""},
      {"acDisconnectAll", "Tabs", "Disconnect All", "", "Close connection of every opened tab"},
      {"acAbout", "Main", "About...", "", ""},
      {"acExit", "Main", "Exit", "", ""},
      {"acRefreshTreeItem", "Tree", "Refresh", "", "Reload meta data from selected database"},
      {"acHelp", "Main", "Help...", "F1", ""},
      {"acFeedback", "Main", "Feedback...", "", ""},
  };
  TfrmQRV &w = start();
  ASSERT_EQ(w.AL->actions().size(), int(std::size(rows)));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Row &r = rows[i];
    SCOPED_TRACE(r.name);
    QAction *a = w.AL->action(QString::fromLatin1(r.name));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(w.AL->actions().at(int(i)), a);
    EXPECT_EQ(TActionList::category(a), QString::fromLatin1(r.category));
    EXPECT_EQ(a->text(), QString::fromLatin1(r.text));
    EXPECT_EQ(a->shortcut(), QKeySequence(QString::fromLatin1(r.keys)));
    EXPECT_EQ(TActionList::hint(a), QString::fromLatin1(r.hint));
    // The action works wherever the focus is in the window.
    EXPECT_TRUE(w.actions().contains(a));
  }
  EXPECT_TRUE(w.AL->acZenMode->isCheckable());
  EXPECT_TRUE(w.AL->acStayOnTop->isCheckable());
}

TEST(ShortCutValues, EncodeKeyCodePlusModifierFlags) {
  struct Case {
    int value;
    const char *text;
    const char *keys;
  };
  const Case cases[] = {
      {scCtrl | 'N', "Ctrl+N", "Ctrl+N"},
      {scShift | scCtrl | 'S', "Shift+Ctrl+S", "Ctrl+Shift+S"},
      {scAlt | 'C', "Alt+C", "Alt+C"},
      {scCtrl | vkSpace, "Ctrl+Space", "Ctrl+Space"},
      {scCtrl | vkTab, "Ctrl+Tab", "Ctrl+Tab"},
      {vkF11, "F11", "F11"},
      {vkF12, "F12", "F12"},
      {0, "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ShortCutToText(c.value), QString::fromLatin1(c.text));
    EXPECT_EQ(ShortCutToKeySequence(c.value), QKeySequence(QString::fromLatin1(c.keys)));
  }
  // The values the table is written with.
  EXPECT_EQ(scShift | scCtrl | 'S', 0x6053);
  EXPECT_EQ(scAlt | 'C', 0x8043);
}

TEST_F(MainWindowTest, ActionsWithoutTheirWorkStayDisabledAndSharedRulesSwitchTheirGroupTogether) {
  TfrmQRV &w = start();
  w.AL->UpdateAll();
  for (QAction *a : {w.AL->acExit, w.AL->acHelp, w.AL->acFeedback, w.AL->acZenMode, w.AL->acStayOnTop})
    EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
  for (QAction *a : {w.AL->acNewQuery, w.AL->acOpenFile, w.AL->acSaveFile, w.AL->acRefreshTreeItem, w.AL->acAbout,
                     w.AL->acOptions, w.AL->acScriptMapper, w.AL->acNextTab})
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();

  // About and Options come alive once their dialogs are attached.
  w.FHooks.showAbout = [] {};
  w.AL->UpdateAll();
  EXPECT_TRUE(w.AL->acAbout->isEnabled());

  // One rule governs acSaveFileAs, acCloseCurrFrame and acCloseAllTabs.
  bool haveTab = false;
  const QList<QAction *> group = {w.AL->acSaveFileAs, w.AL->acCloseCurrFrame, w.AL->acCloseAllTabs};
  for (QAction *a : group) w.AL->SetExecute(a, [] {});
  w.AL->SetRule(TActionRule::CurrentTab, [&] { return haveTab; });
  for (QAction *a : group) EXPECT_FALSE(a->isEnabled());
  haveTab = true;
  w.AL->UpdateAll();
  for (QAction *a : group) EXPECT_TRUE(a->isEnabled());
  EXPECT_FALSE(w.AL->acSaveFile->isEnabled()) << "acSaveFile has a rule of its own";

  // A disabled action does nothing when triggered.
  int ran = 0;
  w.AL->SetExecute(w.AL->acCopyTreeItemPath, [&] { ++ran; });
  w.AL->SetRule(TActionRule::TreeItem, [] { return false; });
  w.AL->acCopyTreeItemPath->trigger();
  EXPECT_EQ(ran, 0);
}

// ---------------------------------------------------------------------------------------------------
// Layout, drop-down panels and menus

TEST_F(MainWindowTest, LayoutHasItsNamedPartsAndTheEmptyStateText) {
  TfrmQRV &w = startShown();
  for (const char *name : {"SB", "lbStatus0", "loStatusBarToolTip", "lbStatusBarToolTip", "sbCloseStatusBarToolTip",
                           "loLeft", "loDBTreeFilter", "ceTreeFilter", "sbToggleTreeFilter", "grTree", "sbDefaultDB",
                           "lbDefaultDB", "loTreePB", "splLeft", "loHide", "loClient", "floTabs", "sbMainMenu",
                           "sbRecentFiles", "TC", "pnMM", "pnRecentFiles", "pnFilterSettings", "lbxRecentFiles",
                           "sbxRecentFilesFilter", "cbFSCaseSens", "cbFSWholeWords", "cbFSSkipAddInfo", "cbFSRegEx"})
    EXPECT_NE(w.findChild<QWidget *>(QString::fromLatin1(name)), nullptr) << name;
  EXPECT_EQ(w.windowTitle(), QStringLiteral("Quorvane 64bit"));
  EXPECT_EQ(w.SB->height(), 22);
  EXPECT_EQ(w.loLeft->width(), 300);
  EXPECT_EQ(w.lbDefaultDB->text(), QStringLiteral("DB:"));
  EXPECT_EQ(w.ceTreeFilter->lineEdit()->placeholderText(),
            QStringLiteral("Search whole tree or click tree item to apply filter on..."));
  // Hidden at start: the three panels, the tool-tip area and the tree progress strip.
  for (QWidget *h : {(QWidget *)w.pnMM, (QWidget *)w.pnRecentFiles, (QWidget *)w.pnFilterSettings,
                     w.loStatusBarToolTip, (QWidget *)w.loTreePB})
    EXPECT_TRUE(h->isHidden()) << h->objectName().toStdString();

  EXPECT_TRUE(w.lbEmptyState->isVisible());
  EXPECT_TRUE(w.lbEmptyState->text().startsWith(
      QStringLiteral("Right-click the database tree and use the \"Connection\" menu to add new connection\n\n")));
  EXPECT_TRUE(w.lbEmptyState->text().endsWith(QStringLiteral("Drag and drop one or several *.SQL files to open them")));
  w.TC->addTab(new QWidget, QStringLiteral("Query1"));
  EXPECT_FALSE(w.lbEmptyState->isVisible());
  delete w.TC->widget(0);
  EXPECT_TRUE(w.lbEmptyState->isVisible());

  EXPECT_EQ(TfrmQRV::FileDialogFilter(), QStringLiteral("SQL Files (*.sql)|*.sql|All Files (*.*)|*.*"));
  EXPECT_EQ(TfrmQRV::ToQtNameFilter(TfrmQRV::FileDialogFilter()), QStringLiteral("SQL Files (*.sql);;All Files (*.*)"));
}

TEST_F(MainWindowTest, DropDownPanelsOpenBelowTheirButtonsAndCloseByTheirRules) {
  TfrmQRV &w = startShown();
  QTest::mouseClick(w.sbMainMenu, Qt::LeftButton);
  ASSERT_TRUE(w.pnMM->isVisible());
  EXPECT_TRUE(w.sbMainMenu->isChecked());
  EXPECT_EQ(w.pnMM->size(), QSize(250, 406));
  const QPoint b = w.sbMainMenu->mapTo(&w, QPoint(0, 0));
  EXPECT_EQ(w.pnMM->pos(), QPoint(b.x() + 4, b.y() + w.sbMainMenu->height() + 4));

  // The items and captions in order, with their shortcut texts taken from the actions.
  QStringList texts;
  for (QWidget *c : w.pnMM->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
    if (auto *l = qobject_cast<QLabel *>(c)) texts << l->text();
    if (auto *btn = qobject_cast<QAbstractButton *>(c)) texts << btn->text();
  }
  EXPECT_EQ(texts, QStringList({QStringLiteral("———————————— SQL Files ———————————"), "Save File", "Save File As...",
                                QStringLiteral("———————————— View ———————————"), "Zen Mode", "Stay on Top",
                                QStringLiteral("———————————— Tools ———————————"), "Script Mapper...", "Get New GUID",
                                "Options...", QStringLiteral("—————————————————————————"), "Help...",
                                "Check for Updates...", "Feedback...", "About...", "Exit"}));

  // The recent-files button hides the main menu and opens its own panel with the focus in the search box.
  QTest::mouseClick(w.sbRecentFiles, Qt::LeftButton);
  EXPECT_FALSE(w.pnMM->isVisible());
  EXPECT_FALSE(w.sbMainMenu->isChecked());
  ASSERT_TRUE(w.pnRecentFiles->isVisible());
  EXPECT_TRUE(w.sbxRecentFilesFilter->hasFocus());
  EXPECT_GE(w.pnRecentFiles->width(), 350);
  EXPECT_GE(w.pnRecentFiles->height(), 200);

  // The filter settings panel closes when the focus moves on; the recent-files panel does not.
  QTest::mouseClick(w.sbToggleTreeFilter, Qt::LeftButton);
  ASSERT_TRUE(w.pnFilterSettings->isVisible());
  w.ceTreeFilter->setFocus();
  QApplication::processEvents();
  EXPECT_FALSE(w.pnFilterSettings->isVisible());
  EXPECT_FALSE(w.sbToggleTreeFilter->isChecked());
  EXPECT_TRUE(w.pnRecentFiles->isVisible());

  // A menu item runs its action and closes the panel.
  QTest::mouseClick(w.sbMainMenu, Qt::LeftButton);
  auto *zen = w.pnMM->findChild<QAbstractButton *>(QStringLiteral("miZenMode"));
  ASSERT_NE(zen, nullptr);
  QTest::mouseClick(zen, Qt::LeftButton);
  EXPECT_TRUE(w.ZenMode());
  EXPECT_FALSE(w.pnMM->isVisible());
}

TEST_F(MainWindowTest, RecentFilesSearchFiltersTheListAndMoveToTopKeepsOneEntryEach) {
  TfrmQRV &w = start();
  w.SetRecentFiles({"/data/sales/report.sql", "/data/hr/People.sql", "/data/sales/Totals.sql"});
  w.AddRecentFile(QStringLiteral("/data/hr/People.sql"));
  EXPECT_EQ(w.RecentFiles(), QStringList({"/data/hr/People.sql", "/data/sales/report.sql", "/data/sales/Totals.sql"}));
  w.sbxRecentFilesFilter->setText(QStringLiteral("SALES"));
  QStringList shown;
  for (int i = 0; i < w.lbxRecentFiles->count(); ++i)
    if (!w.lbxRecentFiles->item(i)->isHidden()) shown << w.lbxRecentFiles->item(i)->text();
  EXPECT_EQ(shown, QStringList({"/data/sales/report.sql", "/data/sales/Totals.sql"}));

  QString opened;
  w.FHooks.openRecentFile = [&](const QString &f) { opened = f; };
  QListWidgetItem *first = w.lbxRecentFiles->item(1);
  emit w.lbxRecentFiles->itemDoubleClicked(first);
  EXPECT_EQ(opened, QStringLiteral("/data/sales/report.sql"));
}

TEST_F(MainWindowTest, TreeContextMenuHasItsEntriesInOrder) {
  TfrmQRV &w = start();
  auto texts = [](QMenu *m) {
    QStringList t;
    for (QAction *a : m->actions()) t << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return t;
  };
  EXPECT_EQ(texts(w.pmTree), QStringList({"Connection", "New Query...", "Open Table...", "-", "Script", "-",
                                          "Set Database as Default", "Copy Full Path", "-", "Refresh"}));
  EXPECT_EQ(texts(w.pmTree->actions().at(0)->menu()),
            QStringList({"New Connection...", "Edit Connection...", "Delete Connection", "-", "Add Database...",
                         "Delete Database"}));
  EXPECT_EQ(texts(w.pmTree->actions().at(4)->menu()), QStringList({"CREATE", "SELECT"}));
}

// ---------------------------------------------------------------------------------------------------
// Global keys

TEST_F(MainWindowTest, GlobalKeysReachTheCurrentFrameOnlyAsTheyShould) {
  struct Case {
    const char *what;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    bool editorFocus, completion, findPanel;
    int keyTab, insertTab, hideCompletion, closeFind, showHideRS, execute;
  };
  const Case cases[] = {
      {"F5 runs the query", Qt::Key_F5, Qt::NoModifier, true, false, false, 0, 0, 0, 0, 0, 1},
      {"Ctrl+F5 does nothing", Qt::Key_F5, Qt::ControlModifier, true, false, false, 0, 0, 0, 0, 0, 0},
      {"Ctrl+R shows or hides results", Qt::Key_R, Qt::ControlModifier, true, false, false, 0, 0, 0, 0, 1, 0},
      {"R without Ctrl does nothing", Qt::Key_R, Qt::NoModifier, true, false, false, 0, 0, 0, 0, 0, 0},
      {"Esc with nothing open does nothing", Qt::Key_Escape, Qt::NoModifier, true, false, false, 0, 0, 0, 0, 0, 0},
      {"Esc hides the completion list first", Qt::Key_Escape, Qt::NoModifier, true, true, true, 0, 0, 1, 0, 0, 0},
      {"Esc closes the find panel", Qt::Key_Escape, Qt::NoModifier, true, false, true, 0, 0, 0, 1, 0, 0},
      {"Tab picks the completion item", Qt::Key_Tab, Qt::NoModifier, true, true, false, 1, 0, 0, 0, 0, 0},
      {"Tab goes to the editor", Qt::Key_Tab, Qt::NoModifier, true, false, false, 0, 1, 0, 0, 0, 0},
      {"Tab outside the editor is left alone", Qt::Key_Tab, Qt::NoModifier, false, true, false, 0, 0, 0, 0, 0, 0},
  };
  TfrmQRV &w = startShown();
  auto *editor = new QLineEdit;
  w.TC->addTab(editor, QStringLiteral("Query1"));
  FakeFrame frame;
  frame.editor = editor;
  w.FHooks.currentFrame = [&]() -> TQueryFrameKeys * { return &frame; };
  QStringList urls;
  w.FHooks.openUrl = [&](const QString &u) { urls << u; };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    editor->setFocus();
    FakeFrame fresh;
    fresh.editor = editor;
    fresh.editorFocus = c.editorFocus;
    fresh.completion = c.completion;
    fresh.findPanel = c.findPanel;
    frame = fresh;
    QTest::keyClick(editor, c.key, c.mods);
    EXPECT_EQ(frame.keyTab, c.keyTab);
    EXPECT_EQ(frame.insertTab, c.insertTab);
    EXPECT_EQ(frame.hideCompletion, c.hideCompletion);
    EXPECT_EQ(frame.closeFind, c.closeFind);
    EXPECT_EQ(frame.showHideRS, c.showHideRS);
    EXPECT_EQ(frame.execute, c.execute);
  }
  EXPECT_TRUE(urls.isEmpty());
  EXPECT_FALSE(w.ZenMode());

  // F1 opens the help page; with Ctrl it does not.
  editor->setFocus();
  QTest::keyClick(editor, Qt::Key_F1, Qt::ControlModifier);
  EXPECT_TRUE(urls.isEmpty());
  QTest::keyClick(editor, Qt::Key_F1);
  EXPECT_EQ(urls, QStringList({TfrmQRV::HelpAddress()}));

  // F11, with any modifiers, toggles zen mode exactly once per press.
  QTest::keyClick(editor, Qt::Key_F11);
  EXPECT_TRUE(w.ZenMode());
  EXPECT_TRUE(w.AL->acZenMode->isChecked());
  QTest::keyClick(editor, Qt::Key_F11, Qt::ShiftModifier);
  EXPECT_FALSE(w.ZenMode());
}

TEST_F(MainWindowTest, KeysNeedingAFrameDoNothingWithoutOne) {
  TfrmQRV &w = startShown();
  QStringList urls;
  w.FHooks.openUrl = [&](const QString &u) { urls << u; };
  w.ceTreeFilter->setFocus();
  const float treeWidth = w.TreePanelWidth();
  for (Qt::Key k : {Qt::Key_F5, Qt::Key_Escape}) QTest::keyClick(w.ceTreeFilter, k);
  QTest::keyClick(w.ceTreeFilter, Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(urls.isEmpty());
  EXPECT_FALSE(w.ZenMode());
  EXPECT_EQ(w.TreePanelWidth(), treeWidth);
  EXPECT_TRUE(w.isVisible());
}

// ---------------------------------------------------------------------------------------------------
// View modes

TEST_F(MainWindowTest, ZenModeHidesTheTreeAndRestoresItsWidth) {
  struct Case {
    float before;
    float after;
  };
  const Case cases[] = {{250, 250}, {300, 300}, {5, 300}, {-3, 300}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.before);
    TfrmQRV &w = startShown();
    w.SetTreePanelWidth(c.before);
    w.AL->acZenMode->trigger();
    EXPECT_TRUE(w.ZenMode());
    EXPECT_TRUE(w.isFullScreen());
    EXPECT_TRUE(w.SB->isHidden());
    // Only a tree wider than 10 is hidden (and remembered); a narrower one stays as it is.
    EXPECT_EQ(w.loLeft->isHidden(), c.before > 10 || c.before < 1);
    EXPECT_EQ(w.TreePanelWidth(), c.before > 10 ? -3.f : c.before);
    w.AL->acZenMode->trigger();
    EXPECT_FALSE(w.ZenMode());
    EXPECT_FALSE(w.isFullScreen());
    EXPECT_TRUE(w.isMaximized());
    EXPECT_FALSE(w.SB->isHidden());
    EXPECT_EQ(w.TreePanelWidth(), c.after);
    EXPECT_EQ(w.loLeft->width(), int(c.after));
  }
}

TEST_F(MainWindowTest, TreeHandleHidesAndRestoresTheTree) {
  TfrmQRV &w = startShown();
  w.SetTreePanelWidth(260);
  QTest::mouseClick(w.loHide, Qt::LeftButton, {}, QPoint(1, 5));
  EXPECT_TRUE(w.loLeft->isHidden());
  QTest::mouseClick(w.loHide, Qt::LeftButton, {}, QPoint(1, 5));
  EXPECT_EQ(w.TreePanelWidth(), 260.f);
  EXPECT_FALSE(w.loLeft->isHidden());
}

TEST_F(MainWindowTest, StayOnTopTogglesThePinAndLeavesMaximisedState) {
  TfrmQRV &w = startShown();
  ASSERT_TRUE(w.isMaximized());
  w.AL->acStayOnTop->trigger();
  EXPECT_TRUE(w.StaysOnTop());
  EXPECT_TRUE(w.AL->acStayOnTop->isChecked());
  EXPECT_FALSE(w.isMaximized());
  EXPECT_TRUE(w.isVisible());
  w.AL->acStayOnTop->trigger();
  EXPECT_FALSE(w.StaysOnTop());
  EXPECT_FALSE(w.AL->acStayOnTop->isChecked());
  EXPECT_TRUE(w.isVisible());
}

// ---------------------------------------------------------------------------------------------------
// Status bar

TEST_F(MainWindowTest, StatusTextClearsWhenItsTimerFires) {
  TfrmQRV &w = start();
  w.SetStatusTimeUnit(20);
  w.ShowStatusText(QStringLiteral("12 rows selected."), 2);
  EXPECT_EQ(w.lbStatus0->text(), QStringLiteral("12 rows selected."));
  EXPECT_TRUE(w.tmrStatus->isActive());
  EXPECT_EQ(w.tmrStatus->interval(), 40);
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.lbStatus0->text().isEmpty(); }, 5000));
  EXPECT_FALSE(w.tmrStatus->isActive());

  // A message without a time-out stays, also when an earlier one's timer was still running.
  w.ShowStatusText(QStringLiteral("passing"), 1);
  w.ShowStatusText(QStringLiteral("Connected"));
  EXPECT_FALSE(w.tmrStatus->isActive());
  QTest::qWait(100);
  EXPECT_EQ(w.lbStatus0->text(), QStringLiteral("Connected"));
}

TEST_F(MainWindowTest, StatusLinkForUpdatesStartsTheCheck) {
  TfrmQRV &w = start();
  int checks = 0;
  QStringList urls;
  w.FHooks.checkForUpdates = [&] { ++checks; };
  w.FHooks.openUrl = [&](const QString &u) { urls << u; };
  emit w.lbStatus0->linkActivated(QStringLiteral("check_for_updates"));
  emit w.lbStatus0->linkActivated(QStringLiteral("https://example.org/notes"));
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(urls, QStringList({"https://example.org/notes"}));
}

TEST_F(MainWindowTest, ToolTipClosedOnceNeverShowsAgainAfterARestart) {
  {
    TfrmQRV &w = startShown();
    w.ShowStatusBarToolTip(0);
    ASSERT_FALSE(w.loStatusBarToolTip->isHidden());
    EXPECT_EQ(w.lbStatusBarToolTip->text(),
              QStringLiteral("Press \"Ctrl + Space\" to show completion list, use \"Esc\" to hide it"));
    EXPECT_EQ(w.lbStatusBarToolTip->toolTip(), w.lbStatusBarToolTip->text());
    QTest::mouseClick(w.sbCloseStatusBarToolTip, Qt::LeftButton);
    EXPECT_TRUE(w.loStatusBarToolTip->isHidden());
    w.ShowStatusBarToolTip(0);
    EXPECT_TRUE(w.loStatusBarToolTip->isHidden());
    closeWindow();
  }
  EXPECT_EQ(savedSettings().sectionKeys(QStringLiteral("HiddenToolTips")), QStringList({"0"}));
  TfrmQRV &w = startShown();
  w.ShowStatusBarToolTip(0);
  EXPECT_TRUE(w.loStatusBarToolTip->isHidden());
  w.ShowStatusBarToolTip(1);
  EXPECT_FALSE(w.loStatusBarToolTip->isHidden());
  EXPECT_EQ(w.lbStatusBarToolTip->text(),
            QStringLiteral("In case of SQL query error, try to run it with different options. Click 3-dots button "
                           "near to Execute button"));
}

TEST_F(MainWindowTest, HiddenToolTipKeysOutsideTheTableAreIgnored) {
  writeSettings(QStringLiteral("[HiddenToolTips]\n-1=\nabc=\n2=\n1=\n"));
  TfrmQRV &w = startShown();
  EXPECT_FALSE(w.IsToolTipHidden(0));
  EXPECT_TRUE(w.IsToolTipHidden(1));
  w.ShowStatusBarToolTip(0);
  EXPECT_FALSE(w.loStatusBarToolTip->isHidden());
  closeWindow();
  EXPECT_EQ(savedSettings().sectionKeys(QStringLiteral("HiddenToolTips")), QStringList({"1"}));
}

// ---------------------------------------------------------------------------------------------------
// Theme

TEST_F(MainWindowTest, ThemeSwitchRecoloursTheOpenWindowAndLaterWindows) {
  TfrmQRV &w = startShown();
  ASSERT_TRUE(w.IsDarkTheme()) << "dark is the theme of a first start";
  EXPECT_EQ(w.FTreeBrushBG.color().rgba(), 0xFF20262Fu);
  EXPECT_EQ(centerPixel(w.grTree).rgba(), 0xFF20262Fu);
  EXPECT_EQ(centerPixel(w.SB).rgba(), ThemeColorsFor(true).statusBar.rgba());

  w.SetDarkTheme(false);
  QApplication::processEvents();
  EXPECT_EQ(w.FTreeBrushBG.color().rgba(), 0xFFFFFFFFu);
  EXPECT_EQ(w.FTreeBrushText.color().rgba(), 0xFF3F454Bu);
  EXPECT_EQ(w.FTreeSelBrush.color().rgba(), 0xFF3B99FDu);
  EXPECT_EQ(w.FTreeBrushBGAlt.color().rgba(), 0xFFF3F3F3u);
  EXPECT_EQ(w.FGridHeaderBrush.color().rgba(), 0xFFFAFBFCu);
  EXPECT_EQ(centerPixel(w.grTree).rgba(), 0xFFFFFFFFu);
  EXPECT_EQ(centerPixel(w.SB).rgba(), ThemeColorsFor(false).statusBar.rgba());
  // The fixed brushes do not follow the theme.
  EXPECT_EQ(w.FSearchResBrush.color().rgba(), 0xFFB8860Bu);
  EXPECT_EQ(w.FChangeTrackBrush.color().rgba(), 0xFFFFFF00u);
  EXPECT_EQ(w.FGrayBrush.color().rgba(), 0xFFA0A0A0u);

  // A dialog created afterwards takes the window's theme.
  QDialog later;
  later.resize(80, 60);
  EXPECT_EQ(centerPixel(&later).rgba(), ThemeColorsFor(false).window.rgba());

  // Back to dark: the same open window follows again.
  w.SetDarkTheme(true);
  QApplication::processEvents();
  EXPECT_EQ(centerPixel(w.grTree).rgba(), 0xFF20262Fu);
  EXPECT_EQ(centerPixel(&later).rgba(), ThemeColorsFor(true).window.rgba());
}

TEST_F(MainWindowTest, LightThemeChosenInOptionsSurvivesARestart) {
  {
    TfrmQRV &w = startShown();
    bool ok = false;
    w.FHooks.showOptions = [&] {
      w.Settings().darkTheme = false;
      return ok;
    };
    w.AL->UpdateAll();
    ASSERT_TRUE(w.AL->acOptions->isEnabled());
    w.AL->acOptions->trigger();  // cancelled: the open window keeps its look
    EXPECT_TRUE(AppThemeIsDark());
    ok = true;
    w.AL->acOptions->trigger();
    EXPECT_FALSE(AppThemeIsDark());
    EXPECT_EQ(centerPixel(w.grTree).rgba(), 0xFFFFFFFFu);
  }
  closeWindow();
  EXPECT_FALSE(savedSettings().readBool(QStringLiteral("Options"), QStringLiteral("DarkTheme"), true));
  TfrmQRV &w = startShown();
  EXPECT_FALSE(w.IsDarkTheme());
  EXPECT_FALSE(AppThemeIsDark());
  EXPECT_EQ(centerPixel(w.grTree).rgba(), 0xFFFFFFFFu);
}

TEST_F(MainWindowTest, ScreenshotOfEachThemeIsWrittenToTheBuildFolder) {
  const QString dir = qrvtest::BuildDir();
  ASSERT_FALSE(dir.isEmpty()) << "QRV_BUILD_DIR is not set";
  writeSettings(QStringLiteral("[Options]\nIsMaximized=0\nBoundsRect=") +
                QString::fromLatin1(EncodeBoundsRect(QRect(40, 40, 1000, 600)).toHex().toUpper()) + QStringLiteral("\n"));
  TfrmQRV &w = startShown();
  w.lbDefaultDB->setText(QStringLiteral("DB: PostgreSQL > local > sales"));
  w.SetRecentFiles({"/home/dev/sql/monthly_report.sql", "/home/dev/sql/customers_by_region.sql",
                    "/home/dev/projects/warehouse/migrations/0042_add_indexes.sql"});
  struct Shot {
    bool dark;
    const char *file;
  };
  for (const Shot &s : {Shot{true, "mainwindow_dark.png"}, Shot{false, "mainwindow_light.png"}}) {
    SCOPED_TRACE(s.file);
    w.HideDropDowns();
    w.SetDarkTheme(s.dark);
    w.ShowStatusText(QStringLiteral("Connected to <b>sales</b>. <a href=\"check_for_updates\">Check for updates</a>"));
    w.ShowStatusBarToolTip(s.dark ? 0 : 1);
    if (s.dark)
      w.ToggleMainMenu();
    else
      w.ToggleRecentFiles();
    QApplication::processEvents();
    const QImage img = w.grab().toImage();
    const QString path = QDir(dir).filePath(QString::fromLatin1(s.file));
    ASSERT_TRUE(img.save(path));
    const QImage back(path);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), img.size());
    const QPoint tree = w.grTree->mapTo(&w, w.grTree->rect().center());
    EXPECT_EQ(back.pixelColor(tree).rgba(), s.dark ? 0xFF20262Fu : 0xFFFFFFFFu);
  }
}

// ---------------------------------------------------------------------------------------------------
// Window bounds, settings and closing

TEST_F(MainWindowTest, BoundsAreRestoredExactlyAfterUnmaximiseAndRestart) {
  const QRect bounds(130, 90, 880, 540);
  {
    TfrmQRV &w = startShown();
    ASSERT_TRUE(w.isMaximized()) << "a first start opens maximised";
    w.showNormal();
    w.setGeometry(bounds);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.geometry() == bounds; }, 5000));
    closeWindow();
  }
  IniFile saved = savedSettings();
  EXPECT_FALSE(saved.readBool(QStringLiteral("Options"), QStringLiteral("IsMaximized"), true));
  EXPECT_EQ(DecodeBoundsRect(saved.readBinary(QStringLiteral("Options"), QStringLiteral("BoundsRect"))), bounds);

  TfrmQRV &w = startShown();
  EXPECT_FALSE(w.isMaximized());
  EXPECT_EQ(w.geometry(), bounds);

  // Maximised again and closed: the next start is maximised, and the normal bounds are kept.
  w.showMaximized();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.isMaximized(); }, 5000));
  closeWindow();
  saved = savedSettings();
  EXPECT_TRUE(saved.readBool(QStringLiteral("Options"), QStringLiteral("IsMaximized"), false));
  EXPECT_EQ(DecodeBoundsRect(saved.readBinary(QStringLiteral("Options"), QStringLiteral("BoundsRect"))), bounds);
  EXPECT_TRUE(startShown().isMaximized());
}

TEST_F(MainWindowTest, SettingsTheWindowOwnsRoundTripAndOthersAreKept) {
  writeSettings(QStringLiteral("[Options]\nTreeWidth=240\nFSSkipAddInfo=0\nDefaultDB=SQLite > Demo > main\n"
                               "SQLFontSize=17\nConnTO=45\nGridCopyWithRowNum=1\n"));
  {
    TfrmQRV &w = start();
    EXPECT_EQ(w.TreePanelWidth(), 240.f);
    EXPECT_FALSE(w.cbFSSkipAddInfo->isChecked());
    EXPECT_EQ(w.FDefaultDB, QStringLiteral("SQLite > Demo > main"));
    w.SetTreePanelWidth(275);
    w.cbFSSkipAddInfo->setChecked(true);
    closeWindow();
  }
  IniFile s = savedSettings();
  const QString o = QStringLiteral("Options");
  EXPECT_EQ(s.readInteger(o, QStringLiteral("TreeWidth")), 275);
  EXPECT_TRUE(s.readBool(o, QStringLiteral("FSSkipAddInfo")));
  EXPECT_EQ(s.readString(o, QStringLiteral("DefaultDB")), QStringLiteral("SQLite > Demo > main"));
  // Keys of other windows pass through the window unchanged.
  EXPECT_EQ(s.readInteger(o, QStringLiteral("SQLFontSize")), 17);
  EXPECT_EQ(s.readInteger(o, QStringLiteral("ConnTO")), 45);
  EXPECT_TRUE(s.readBool(o, QStringLiteral("GridCopyWithRowNum")));
}

TEST_F(MainWindowTest, ZenModeClosedWindowStartsWithItsTreeAndMaximised) {
  {
    TfrmQRV &w = startShown();
    w.SetTreePanelWidth(280);
    w.AL->acZenMode->trigger();
    closeWindow();
  }
  TfrmQRV &w = startShown();
  EXPECT_EQ(w.TreePanelWidth(), 280.f);
  EXPECT_TRUE(w.isMaximized());
  EXPECT_FALSE(w.ZenMode());
}

TEST_F(MainWindowTest, ClosingRecordsTheTabsOnDiskAndARefusingTabKeepsTheWindowOpen) {
  writeSettings(QStringLiteral("[OpenedFiles]\n1=/old/Query1.sql\n"));
  TfrmQRV &w = startShown();
  bool agree = false;
  w.FHooks.closeAllTabs = [&](bool closingApp) {
    EXPECT_TRUE(closingApp);
    w.SettingsIni()->writeString(QStringLiteral("OpenedFiles"), QStringLiteral("3"), QStringLiteral("/new/Query3.sql"));
    return agree;
  };
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  agree = true;
  closeWindow();
  EXPECT_EQ(savedSettings().sectionValues(QStringLiteral("OpenedFiles")), QStringList({"3=/new/Query3.sql"}));
}

TEST_F(MainWindowTest, ExitCommandRunsTheCloseQuery) {
  TfrmQRV &w = startShown();
  int asked = 0;
  w.FHooks.closeAllTabs = [&](bool) {
    ++asked;
    return false;
  };
  w.AL->acExit->trigger();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(w.isVisible());
}

// ---------------------------------------------------------------------------------------------------
// Idle handler

TEST_F(MainWindowTest, StartupFileOpensOnceAndFocusReturnsAfterATabChange) {
  TfrmQRV &w = startShown();
  QStringList opened;
  StartupFile() = QStringLiteral("/tmp/startup.sql");
  w.FHooks.openFileInNewTab = [&](const QString &f) { opened << f; };
  for (int i = 0; i < 5; ++i) {
    w.DoIdle();
    QApplication::processEvents();
  }
  EXPECT_EQ(opened, QStringList({"/tmp/startup.sql"}));
  EXPECT_TRUE(StartupFile().isEmpty());

  // Two tabs with an editor each; the second tab remembers its last focused control.
  auto *ed1 = new QLineEdit;
  auto *page2 = new QWidget;
  auto *ed2 = new QLineEdit(page2);
  auto *other2 = new QLineEdit(page2);
  w.TC->addTab(ed1, QStringLiteral("Query1"));
  w.TC->addTab(page2, QStringLiteral("Query2"));
  FakeFrame f1, f2;
  f1.editor = ed1;
  f2.editor = ed2;
  f2.last = other2;
  w.FHooks.currentFrame = [&]() -> TQueryFrameKeys * { return w.TC->currentIndex() == 0 ? &f1 : &f2; };
  w.TC->setCurrentIndex(1);
  EXPECT_TRUE(w.FTabChanging);
  w.DoIdle();
  EXPECT_FALSE(w.FTabChanging);
  EXPECT_TRUE(QTest::qWaitFor([&] { return other2->hasFocus(); }, 5000));
  // Without a remembered control the editor gets the focus.
  w.TC->setCurrentIndex(0);
  w.DoIdle();
  EXPECT_TRUE(QTest::qWaitFor([&] { return ed1->hasFocus(); }, 5000));
  // Otherwise the idle handler remembers the focused control.
  w.DoIdle();
  EXPECT_EQ(f1.last, ed1);
}

// ---------------------------------------------------------------------------------------------------
// Icons

TEST(KxIcons, RenderCrispAtEveryPixelRatioAndFollowTheThemeColour) {
  const QStringList names = KxIconNames();
  ASSERT_FALSE(names.isEmpty());
  EXPECT_TRUE(KxIcon(QStringLiteral("no-such-icon")).isNull());
  SetIconColor(QColor(0xFF, 0x00, 0x00));
  for (const QString &n : names) {
    SCOPED_TRACE(n.toStdString());
    const QPixmap pm = KxIcon(n).pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(pm.size(), QSize(32, 32)) << "drawn at the device's pixel ratio, not scaled up";
    EXPECT_EQ(pm.devicePixelRatio(), 2.0);
    const QImage img = pm.toImage();
    int inked = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (qAlpha(img.pixel(x, y)) > 200) {
          ++inked;
          EXPECT_GT(qRed(img.pixel(x, y)), 200);
          EXPECT_LT(qBlue(img.pixel(x, y)), 60);
        }
    EXPECT_GT(inked, 10);
  }
  // The same icon object repaints in the new colour; a fixed-colour icon does not change.
  const QIcon themed = KxIcon(QStringLiteral("save"));
  const QIcon fixed = KxIcon(QStringLiteral("save"), QColor(0x00, 0x00, 0xFF));
  SetIconColor(QColor(0x00, 0xFF, 0x00));
  auto dominant = [](const QIcon &i) {
    const QImage img = i.pixmap(QSize(24, 24), 1.0).toImage();
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (qAlpha(img.pixel(x, y)) > 200) return QColor(img.pixel(x, y)).rgb() & 0xFFFFFF;
    return 0u;
  };
  EXPECT_EQ(dominant(themed), 0x00FF00u);
  EXPECT_EQ(dominant(fixed), 0x0000FFu);
  ApplyAppTheme(true);  // puts the theme's icon colour back
}

// ---------------------------------------------------------------------------------------------------
// The tab row and the style sheets

TEST_F(MainWindowTest, TabRowWrapsOntoFurtherRowsOfTheSameHeight) {
  TfrmQRV &w = startShown();
  QList<QWidget *> headers;
  for (int i = 0; i < 9; ++i) {
    auto *h = new QWidget;
    h->setFixedSize(120, 26);
    w.floTabsLayout->addWidget(h);
    headers << h;
  }
  QApplication::processEvents();  // new children of a shown row are shown from the event loop
  // Three buttons of 28 and nine headers of 120, spacing 2: 4 headers fit beside the buttons in 600.
  EXPECT_EQ(w.floTabsLayout->heightForWidth(600), 3 * 32);
  EXPECT_EQ(w.floTabsLayout->heightForWidth(3 * 30 + 9 * 122), 32);
  w.floTabsLayout->setGeometry(QRect(0, 0, 600, 96));
  EXPECT_EQ(headers[0]->geometry(), QRect(3 * 30, 3, 120, 26));
  EXPECT_EQ(headers[3]->y(), 3);
  EXPECT_EQ(headers[4]->geometry(), QRect(0, 32 + 3, 120, 26));
  EXPECT_EQ(headers[8]->y(), 64 + 3);
  // A row too narrow for even one item still shows it, one per row.
  EXPECT_EQ(w.floTabsLayout->heightForWidth(50), 12 * 32);
}

TEST(Theme, StyleSheetsAreCompleteAndBuiltFromTheThemeColours) {
  for (bool dark : {true, false}) {
    SCOPED_TRACE(dark);
    const QString css = ThemeStyleSheet(dark);
    EXPECT_FALSE(css.contains(QLatin1Char('@'))) << "every colour name is filled in";
    EXPECT_EQ(css.count(QLatin1Char('{')), css.count(QLatin1Char('}')));
    const ThemeColors c = ThemeColorsFor(dark);
    EXPECT_TRUE(css.contains(c.treeBG.name())) << c.treeBG.name().toStdString();
    EXPECT_EQ(ThemePalette(dark).color(QPalette::Base), c.treeBG);
    EXPECT_EQ(ThemePalette(dark).color(QPalette::Highlight), c.treeSel);
    EXPECT_EQ(c.link.rgba(), 0xFF14A9F5u);
  }
  EXPECT_NE(ThemeStyleSheet(true), ThemeStyleSheet(false));
}
