#include "core/actions.h"

#include <QWidget>

#include "library/icons.h"

namespace qrv {

namespace {

using R = TActionRule;

const std::vector<TActionDef> kTable = {
    {"acNewQuery", "Main", "", scCtrl | 'N', "Create new SQL tab for default database", R::Own, "new-query", false},
    {"acOpenFile", "Main", "Open File...", scCtrl | 'O', "", R::Own, "folder-open", false},
    {"acNewConnection", "Tree", "New Connection...", 0, "", R::Own, "connection", false},
    {"acEditConnection", "Tree", "Edit Connection...", 0, "", R::ConnectionItem, "", false},
    {"acDeleteConnection", "Tree", "Delete Connection", 0, "", R::ConnectionItem, "delete", false},
    {"acAddDBToTree", "Tree", "Add Database...", 0, "Add new database item to the tree", R::ConnectionItem, "database",
     false},
    {"acDeleteDBFromTree", "Tree", "Delete Database", 0, "Delete database from the tree", R::Own, "", false},
    {"acNewQueryByTree", "Tree", "New Query...", 0, "Create new SQL tab for selected database", R::DatabaseItem,
     "new-query", false},
    {"acEditTable", "Tree", "Open Table...", 0, "Open table for edit, import, or export data", R::Own, "table", false},
    {"acSetDefaultDB", "Tree", "Set Database as Default", 0, "", R::DatabaseItem, "", false},
    {"acSaveFile", "Tabs", "Save File", scCtrl | 'S', "", R::Own, "save", false},
    {"acSaveFileAs", "Tabs", "Save File As...", scCtrl | scShift | 'S', "", R::CurrentTab, "save-as", false},
    {"acCloseCurrFrame", "Tabs", "Close Current", scAlt | 'C', "Close current tab", R::CurrentTab, "close", false},
    {"acCopyTreeItemPath", "Tree", "Copy Full Path", 0, "Copy the DB tree item path to use it in cross-DBMS queries",
     R::TreeItem, "copy", false},
    {"acShowTablesCompletionList", "Other", "", scCtrl | vkSpace, "", R::Own, "", false},
    {"acCloseAllTabs", "Tabs", "Close All", 0, "Close all tabs", R::CurrentTab, "", false},
    {"acCloseAllButThis", "Tabs", "Close All But This", 0, "Close all tabs, other than current one", R::Own, "", false},
    {"acScriptCreate", "Tree", "CREATE", 0, "Show DDL script", R::ScriptItem, "script", false},
    {"acScriptSelect", "Tree", "SELECT", 0, "Show DQL script (tables and views only)", R::ScriptItem, "script", false},
    {"acZenMode", "Main", "Zen Mode", vkF11, "Toggle Zen Mode", R::Own, "zen", true},
    {"acStayOnTop", "Main", "Stay on Top", 0, "Check to pin the app above all other windows", R::Own, "pin", true},
    {"acScriptMapper", "Main", "Script Mapper...", 0, "Tool for SQL script creation based upon your template", R::Own,
     "mapper", false},
    {"acNewGUID", "Main", "Get New GUID", 0, "Generate new GUID (UUID) and copy it to clipboard", R::Own, "guid", false},
    {"acOptions", "Main", "Options...", vkF12, "", R::Own, "options", false},
    {"acNextTab", "Other", "Next Tab", scCtrl | vkTab, "", R::Own, "", false},
    {"acDisconnectAll", "Tabs", "Disconnect All", 0, "Close connection of every opened tab", R::Own, "", false},
    {"acAbout", "Main", "About...", 0, "", R::Own, "about", false},
    {"acExit", "Main", "Exit", 0, "", R::Own, "exit", false},
    {"acRefreshTreeItem", "Tree", "Refresh", 0, "Reload meta data from selected database", R::TreeItem, "refresh",
     false},
    {"acHelp", "Main", "Help...", vkF1, "", R::Own, "help", false},
    {"acFeedback", "Main", "Feedback...", 0, "", R::Own, "feedback", false},
};

int qtKeyForCode(int code) {
  if (code >= 'A' && code <= 'Z') return Qt::Key_A + (code - 'A');
  if (code >= '0' && code <= '9') return Qt::Key_0 + (code - '0');
  if (code >= vkF1 && code <= vkF1 + 23) return Qt::Key_F1 + (code - vkF1);
  switch (code) {
    case 0x08: return Qt::Key_Backspace;
    case vkTab: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case vkSpace: return Qt::Key_Space;
    case 0x21: return Qt::Key_PageUp;
    case 0x22: return Qt::Key_PageDown;
    case 0x23: return Qt::Key_End;
    case 0x24: return Qt::Key_Home;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2D: return Qt::Key_Insert;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
  }
}

QString keyNameForCode(int code) {
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return QString(QChar(code));
  if (code >= vkF1 && code <= vkF1 + 23) return QStringLiteral("F%1").arg(code - vkF1 + 1);
  switch (code) {
    case 0x08: return QStringLiteral("BkSp");
    case vkTab: return QStringLiteral("Tab");
    case 0x0D: return QStringLiteral("Enter");
    case 0x1B: return QStringLiteral("Esc");
    case vkSpace: return QStringLiteral("Space");
    case 0x21: return QStringLiteral("PgUp");
    case 0x22: return QStringLiteral("PgDn");
    case 0x23: return QStringLiteral("End");
    case 0x24: return QStringLiteral("Home");
    case 0x25: return QStringLiteral("Left");
    case 0x26: return QStringLiteral("Up");
    case 0x27: return QStringLiteral("Right");
    case 0x28: return QStringLiteral("Down");
    case 0x2D: return QStringLiteral("Ins");
    case 0x2E: return QStringLiteral("Del");
    default: return QString();
  }
}

}  // namespace

QKeySequence ShortCutToKeySequence(int shortCut) {
  const int key = qtKeyForCode(shortCut & 0x1FFF);
  if (!key) return QKeySequence();
  int mods = 0;
  if (shortCut & scShift) mods |= Qt::ShiftModifier;
  if (shortCut & scCtrl) mods |= Qt::ControlModifier;
  if (shortCut & scAlt) mods |= Qt::AltModifier;
  return QKeySequence(key | mods);
}

QString ShortCutToText(int shortCut) {
  const QString key = keyNameForCode(shortCut & 0x1FFF);
  if (key.isEmpty()) return QString();
  QString t;
  if (shortCut & scShift) t += QStringLiteral("Shift+");
  if (shortCut & scCtrl) t += QStringLiteral("Ctrl+");
  if (shortCut & scAlt) t += QStringLiteral("Alt+");
  return t + key;
}

const std::vector<TActionDef> &CommandTable() { return kTable; }

TActionList::TActionList(QWidget *owner) : QObject(owner) {
  setObjectName(QStringLiteral("AL"));
  for (const TActionDef &d : kTable) {
    auto *a = new QAction(this);
    a->setObjectName(QString::fromLatin1(d.name));
    a->setText(QString::fromLatin1(d.text));
    const QString hint = QString::fromLatin1(d.hint);
    a->setProperty("qrvCategory", QString::fromLatin1(d.category));
    a->setProperty("qrvHint", hint);
    a->setProperty("qrvShortCut", d.shortCut);
    if (!hint.isEmpty()) {
      a->setToolTip(hint);
      a->setStatusTip(hint);
    }
    if (d.shortCut) {
      a->setShortcut(ShortCutToKeySequence(d.shortCut));
      a->setShortcutContext(Qt::WindowShortcut);
    }
    if (*d.icon) a->setIcon(KxIcon(QString::fromLatin1(d.icon)));
    a->setCheckable(d.checkable);
    a->setEnabled(false);
    connect(a, &QAction::triggered, this, [this, a] {
      auto it = FExecute.constFind(a);
      if (it != FExecute.constEnd() && *it) (*it)();
    });
    FActions.append(a);
    FByName.insert(a->objectName(), a);
    if (owner) owner->addAction(a);
  }
  auto get = [this](const char *n) { return FByName.value(QString::fromLatin1(n)); };
  acNewQuery = get("acNewQuery");
  acOpenFile = get("acOpenFile");
  acNewConnection = get("acNewConnection");
  acEditConnection = get("acEditConnection");
  acDeleteConnection = get("acDeleteConnection");
  acAddDBToTree = get("acAddDBToTree");
  acDeleteDBFromTree = get("acDeleteDBFromTree");
  acNewQueryByTree = get("acNewQueryByTree");
  acEditTable = get("acEditTable");
  acSetDefaultDB = get("acSetDefaultDB");
  acSaveFile = get("acSaveFile");
  acSaveFileAs = get("acSaveFileAs");
  acCloseCurrFrame = get("acCloseCurrFrame");
  acCopyTreeItemPath = get("acCopyTreeItemPath");
  acShowTablesCompletionList = get("acShowTablesCompletionList");
  acCloseAllTabs = get("acCloseAllTabs");
  acCloseAllButThis = get("acCloseAllButThis");
  acScriptCreate = get("acScriptCreate");
  acScriptSelect = get("acScriptSelect");
  acZenMode = get("acZenMode");
  acStayOnTop = get("acStayOnTop");
  acScriptMapper = get("acScriptMapper");
  acNewGUID = get("acNewGUID");
  acOptions = get("acOptions");
  acNextTab = get("acNextTab");
  acDisconnectAll = get("acDisconnectAll");
  acAbout = get("acAbout");
  acExit = get("acExit");
  acRefreshTreeItem = get("acRefreshTreeItem");
  acHelp = get("acHelp");
  acFeedback = get("acFeedback");
}

QAction *TActionList::action(const QString &name) const { return FByName.value(name); }

const TActionDef *TActionList::definition(const QAction *a) const {
  const int i = FActions.indexOf(const_cast<QAction *>(a));
  return i < 0 ? nullptr : &kTable[size_t(i)];
}

QString TActionList::category(const QAction *a) { return a ? a->property("qrvCategory").toString() : QString(); }
QString TActionList::hint(const QAction *a) { return a ? a->property("qrvHint").toString() : QString(); }
int TActionList::shortCut(const QAction *a) { return a ? a->property("qrvShortCut").toInt() : 0; }

void TActionList::SetExecute(QAction *a, std::function<void()> fn) {
  if (!a) return;
  if (fn)
    FExecute.insert(a, std::move(fn));
  else
    FExecute.remove(a);
  UpdateAction(a);
}

bool TActionList::hasExecute(const QAction *a) const {
  auto it = FExecute.constFind(a);
  return it != FExecute.constEnd() && bool(*it);
}

void TActionList::SetRule(TActionRule rule, std::function<bool()> fn) {
  FRules.insert(int(rule), std::move(fn));
  UpdateAll();
}

void TActionList::SetUpdate(QAction *a, std::function<bool()> fn) {
  if (!a) return;
  FUpdate.insert(a, std::move(fn));
  UpdateAction(a);
}

void TActionList::UpdateAction(QAction *a) {
  const TActionDef *d = definition(a);
  if (!d) return;
  bool enabled = hasExecute(a);
  if (enabled) {
    if (d->rule != TActionRule::Own) {
      auto it = FRules.constFind(int(d->rule));
      if (it != FRules.constEnd() && *it) enabled = (*it)();
    }
    auto u = FUpdate.constFind(a);
    if (enabled && u != FUpdate.constEnd() && *u) enabled = (*u)();
  }
  if (a->isEnabled() != enabled) a->setEnabled(enabled);
}

void TActionList::UpdateAll() {
  for (QAction *a : FActions) UpdateAction(a);
}

}  // namespace qrv
