#pragma once
// The action list AL of the main window: every user command of the window is one action here; menus,
// panels and buttons only point at actions.
//
// An action is enabled when it has an execute handler and its update rule (its own or a rule it shares
// with other actions) allows it. Commands whose work belongs to parts of the program that are not
// attached stay disabled until their owner calls SetExecute (and, where availability varies, SetRule or
// SetUpdate). UpdateAll() runs every rule; the window calls it when idle and before showing a menu.
#include <QAction>
#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace qrv {

// Shortcut values: key code plus modifier flags.
constexpr int scShift = 0x2000;
constexpr int scCtrl = 0x4000;
constexpr int scAlt = 0x8000;
// Key codes used by the command table.
constexpr int vkTab = 0x09;
constexpr int vkSpace = 0x20;
constexpr int vkF1 = 0x70;
constexpr int vkF11 = 0x7A;
constexpr int vkF12 = 0x7B;

// The key sequence of a shortcut value (empty for 0 or an unknown key code).
QKeySequence ShortCutToKeySequence(int shortCut);
// "Shift+Ctrl+S", "F11", "Ctrl+Space" ... (empty for 0).
QString ShortCutToText(int shortCut);

// Enabling rules shared by several actions.
enum class TActionRule {
  Own,             // the action's own rule (or none)
  ConnectionItem,  // acEditConnection, acDeleteConnection, acAddDBToTree
  DatabaseItem,    // acNewQueryByTree, acSetDefaultDB
  CurrentTab,      // acSaveFileAs, acCloseCurrFrame, acCloseAllTabs
  TreeItem,        // acCopyTreeItemPath, acRefreshTreeItem
  ScriptItem,      // acScriptCreate, acScriptSelect
};

struct TActionDef {
  const char *name;
  const char *category;  // "Main", "Tree", "Tabs", "Other"
  const char *text;      // empty: icon only or not shown
  int shortCut;          // 0: none
  const char *hint;
  TActionRule rule;
  const char *icon;      // KxIcon name or empty
  bool checkable;
};

// The command table, in the list's order.
const std::vector<TActionDef> &CommandTable();

class TActionList : public QObject {
  Q_OBJECT
 public:
  // The actions are added to the owner, so their shortcuts work anywhere in the owner's window.
  explicit TActionList(QWidget *owner);

  QAction *acNewQuery, *acOpenFile, *acNewConnection, *acEditConnection, *acDeleteConnection, *acAddDBToTree,
      *acDeleteDBFromTree, *acNewQueryByTree, *acEditTable, *acSetDefaultDB, *acSaveFile, *acSaveFileAs,
      *acCloseCurrFrame, *acCopyTreeItemPath, *acShowTablesCompletionList, *acCloseAllTabs, *acCloseAllButThis,
      *acScriptCreate, *acScriptSelect, *acZenMode, *acStayOnTop, *acScriptMapper, *acNewGUID, *acOptions,
      *acNextTab, *acDisconnectAll, *acAbout, *acExit, *acRefreshTreeItem, *acHelp, *acFeedback;

  // By name ("acZenMode"); null when the list has no such action.
  QAction *action(const QString &name) const;
  // Every action in table order.
  const QList<QAction *> &actions() const { return FActions; }
  const TActionDef *definition(const QAction *a) const;
  static QString category(const QAction *a);
  static QString hint(const QAction *a);
  static int shortCut(const QAction *a);

  // Attaches the command's work. Passing an empty function detaches it (the action is then disabled).
  void SetExecute(QAction *a, std::function<void()> fn);
  bool hasExecute(const QAction *a) const;
  // The update handler of a shared rule, or of one action.
  void SetRule(TActionRule rule, std::function<bool()> fn);
  void SetUpdate(QAction *a, std::function<bool()> fn);

  // Runs every update handler and enables or disables the actions.
  void UpdateAll();
  void UpdateAction(QAction *a);

 private:
  QList<QAction *> FActions;
  QHash<QString, QAction *> FByName;
  QHash<const QAction *, std::function<void()>> FExecute;
  QHash<const QAction *, std::function<bool()>> FUpdate;
  QHash<int, std::function<bool()>> FRules;
};

}  // namespace qrv
