#pragma once
// The main window: the database tree on the left, the query tabs on the right, the status bar, the
// drop-down panels, the tree's context menu and the action list AL through which every command runs.
#include <QBrush>
#include <QFrame>
#include <QLayout>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "core/actions.h"
#include "core/settings.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolButton;

namespace qrv {

class IniFile;
struct TExceptionInfo;

// The current SQL frame as the window's global keys and idle handler see it. The SQL frame implements it.
class TQueryFrameKeys {
 public:
  virtual ~TQueryFrameKeys() = default;
  virtual bool EditorHasFocus() const = 0;
  virtual bool CompletionListVisible() const = 0;
  virtual void EditorKeyTab() = 0;       // Tab with the completion list open: insert the chosen item
  virtual void EditorInsertTab() = 0;    // Tab otherwise: the editor inserts the tab
  virtual void HideCompletionList() = 0;
  virtual bool FindPanelVisible() const = 0;
  virtual void CloseFindPanel() = 0;
  virtual void ShowHideRS() = 0;         // the frame's acShowHideRS
  virtual void ExecuteSQL() = 0;         // the frame's acExecuteSQL
  virtual QWidget *Editor() const = 0;
  virtual QWidget *LastActiveControl() const = 0;
  virtual void SetLastActiveControl(QWidget *w) = 0;
};

// Work of other parts of the program that the window calls when it is attached.
struct TMainWindowHooks {
  std::function<TQueryFrameKeys *()> currentFrame;            // the frame of the active tab, or null
  std::function<bool(bool closingApp)> closeAllTabs;           // false: a tab refused to close
  std::function<void()> saveAutomaticFiles;                    // unsaved automatic query files, on errors
  std::function<void(const QString &file)> openFileInNewTab;   // the start-up file
  std::function<void(const QString &file)> openRecentFile;     // a double click in the recent-files list
  std::function<void()> checkForUpdates;                       // "Check for Updates..." and its status link
  std::function<bool()> showOptions;                           // the options dialog; true when closed with OK
  std::function<void()> showAbout;
  std::function<int()> resultPanelHeight;                      // of the current query tab, 0 when none
  std::function<void(const QString &url)> openUrl;             // default: the system's browser
};

// One entry of the status-bar tool tips.
struct TStatusBarToolTip {
  QString text;
  bool hidden = false;
};

// A row of widgets laid out left to right that wraps onto further rows of the same height.
class TFlowLayout : public QLayout {
 public:
  explicit TFlowLayout(QWidget *parent, int rowHeight = 32, int spacing = 2);
  ~TFlowLayout() override;
  void addItem(QLayoutItem *item) override;
  void insertWidget(int index, QWidget *w);
  int count() const override;
  QLayoutItem *itemAt(int index) const override;
  QLayoutItem *takeAt(int index) override;
  Qt::Orientations expandingDirections() const override { return {}; }
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect &rect) override;
  int rowHeight() const { return FRowHeight; }

 private:
  int doLayout(const QRect &rect, bool apply) const;
  QList<QLayoutItem *> FItems;
  int FRowHeight;
};

// A thin strip that shows a progress in the link colour (the tree's progress strip).
class TProgressStrip : public QWidget {
  Q_OBJECT
 public:
  explicit TProgressStrip(QWidget *parent = nullptr);
  void SetProgress(int progress);  // 0..100; more fills the strip
  int progress() const { return FProgress; }

 protected:
  void paintEvent(QPaintEvent *) override;

 private:
  int FProgress = 0;
};

class TfrmQRV : public QMainWindow {
  Q_OBJECT
 public:
  // settingsIni: the INI object of Settings.ini; null takes the data module's. The window loads the
  // settings and applies the theme while it is created.
  explicit TfrmQRV(IniFile *settingsIni = nullptr, QWidget *parent = nullptr);
  ~TfrmQRV() override;

  TMainWindowHooks FHooks;
  TActionList *AL = nullptr;

  // --- settings ---
  void LoadObligatoryParameters();
  void SaveObligatoryParameters();
  AppSettings &Settings() { return FSettings; }
  IniFile *SettingsIni() const { return FIni; }

  // --- status bar ---
  void ShowStatusText(const QString &text, int seconds = 0);
  void ShowStatusBarToolTip(int index);
  static const QList<TStatusBarToolTip> &DefaultToolTips();
  bool IsToolTipHidden(int index) const;
  int CurrentToolTip() const { return FCurrToolTip; }
  // Milliseconds per second of ShowStatusText (1000; tests shorten it).
  void SetStatusTimeUnit(int ms) { FStatusTimeUnit = ms; }

  // --- theme ---
  void SetDarkTheme(bool dark);  // stores the option and applies it
  void ApplyTheme();
  bool IsDarkTheme() const { return FSettings.darkTheme; }
  // Theme brushes, rebuilt on every theme change, and the fixed brushes.
  QBrush FTreeBrushBG, FTreeBrushBGAlt, FTreeBrushText, FTreeSelBrush, FGridHeaderBrush;
  QBrush FGrayBrush, FSearchResBrush, FChangeTrackBrush;

  // --- tree panel ---
  float TreePanelWidth() const { return FTreePanelWidth; }
  void SetTreePanelWidth(float width);  // a width below 1 hides the panel completely
  void ToggleTreePanel();               // the splitter's handle
  // Puts the real tree grid in place of the empty area (the grid takes the name grTree).
  void SetTreeGrid(QWidget *grid);

  // --- view modes ---
  bool ZenMode() const { return FZenMode; }
  bool StaysOnTop() const;

  // --- drop-down panels and menus ---
  void ToggleMainMenu();
  void ToggleRecentFiles();
  void ToggleFilterSettings();
  void HideDropDowns();
  void PlaceDropDowns();
  void ResizeRecentFilesMenu();
  QStringList RecentFiles() const { return FRecentFiles; }
  void SetRecentFiles(const QStringList &files);
  void AddRecentFile(const QString &file);  // to the top of the list

  // --- file dialogs ---
  static QString FileDialogFilter();                       // "SQL Files (*.sql)|*.sql|All Files (*.*)|*.*"
  static QString ToQtNameFilter(const QString &filter);    // the same as Qt name filters
  QStringList ExecOpenDialog();
  QString ExecSaveDialog(const QString &proposedName);

  // --- the idle handler and the error handler ---
  void DoIdle();
  void HandleApplicationException(const TExceptionInfo &info);

  // --- window-level commands ---
  void acZenModeExecute();
  void acStayOnTopExecute();
  void acHelpExecute();
  void acFeedbackExecute();
  static QString HelpAddress();
  static QString FeedbackAddress();

  // Fields of other parts that live in the window.
  QString FDefaultDB;
  int FTabCounter = 0;
  bool FTabChanging = false;
  float FTreeWidth = 0;
  bool FZenMode = false;

  // Components.
  QStatusBar *SB = nullptr;
  QLabel *lbStatus0 = nullptr;
  QWidget *loStatusBarToolTip = nullptr;
  QLabel *imgStatusBarToolTip = nullptr;
  QLabel *lbStatusBarToolTip = nullptr;
  QToolButton *sbCloseStatusBarToolTip = nullptr;
  QTimer *tmrStatus = nullptr;

  QWidget *loBody = nullptr;
  QWidget *loLeft = nullptr;
  QWidget *loDBTreeFilter = nullptr;
  QComboBox *ceTreeFilter = nullptr;
  QToolButton *sbToggleTreeFilter = nullptr;
  QWidget *grTree = nullptr;
  QToolButton *sbDefaultDB = nullptr;
  QLabel *lbDefaultDB = nullptr;
  TProgressStrip *loTreePB = nullptr;
  QWidget *splLeft = nullptr;
  QWidget *loHide = nullptr;

  QWidget *loClient = nullptr;
  QWidget *floTabs = nullptr;
  TFlowLayout *floTabsLayout = nullptr;
  QToolButton *sbMainMenu = nullptr;
  QToolButton *sbRecentFiles = nullptr;
  QToolButton *sbNewQuery = nullptr;
  QTabWidget *TC = nullptr;
  QLabel *lbEmptyState = nullptr;

  QFrame *pnMM = nullptr;
  QFrame *pnRecentFiles = nullptr;
  QLineEdit *sbxRecentFilesFilter = nullptr;
  QListWidget *lbxRecentFiles = nullptr;
  QFrame *pnFilterSettings = nullptr;
  QCheckBox *cbFSCaseSens = nullptr, *cbFSWholeWords = nullptr, *cbFSSkipAddInfo = nullptr, *cbFSRegEx = nullptr;
  QAbstractButton *miCheckForUpdates = nullptr;

  QMenu *pmTree = nullptr;

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;
  void showEvent(QShowEvent *e) override;
  void closeEvent(QCloseEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;

 private:
  void CreateLayout();
  void CreateStatusBar();
  void CreateLeftPanel();
  void CreateClientArea();
  void CreateMainMenuPanel();
  void CreateRecentFilesPanel();
  void CreateFilterSettingsPanel();
  void CreateTreeMenu();
  void ConnectActions();
  void RebuildBrushes();
  void ApplyWindowBounds();
  void FillRecentFilesList();
  void FilterRecentFiles(const QString &text);
  bool HandleGlobalKey(QKeyEvent *ke, bool perform);
  void OnFocusChanged(QWidget *old, QWidget *now);
  void ScheduleIdle();
  void UpdateEmptyState();

  IniFile *FIni = nullptr;
  std::unique_ptr<IniFile> FOwnIni;
  AppSettings FSettings;
  QStringList FRecentFiles;
  QList<TStatusBarToolTip> FToolTips;
  int FCurrToolTip = -1;
  int FStatusTimeUnit = 1000;
  float FTreePanelWidth = 300;
  bool FClosing = false;
  QTimer *FIdleTimer = nullptr;
};

}  // namespace qrv
