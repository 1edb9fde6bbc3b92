#include "core/datamodule.h"

#include <sqlite3.h>

#include "core/apppaths.h"
#include "dal/drivertable.h"
#include "dal/localsql.h"
#include "tree/treestore.h"

namespace qrv {

namespace {
TDM *g_dm = nullptr;
}

TDM *DM() { return g_dm; }

TDM::TDM(QObject *parent) : QObject(parent) { g_dm = this; }

TDM::~TDM() {
  DataModuleDestroy();
  if (g_dm == this) g_dm = nullptr;
}

QString TDM::ExecIntQuery(const QString &sql) {
  if (!fdcIntDB) return QStringLiteral("The local database is not open");
  return dal::ExecSql(fdcIntDB, sql);
}

bool TDM::openLocalDatabase(QString *failure) {
  const QString path = SettingsDir() + QStringLiteral("qrv.db");
  QString error;
  // No file is created here: a missing database was already handled by EnsureUserFile.
  if (sqlite3_open_v2(path.toUtf8().constData(), &fdcIntDB, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    error = QString::fromUtf8(fdcIntDB ? sqlite3_errmsg(fdcIntDB) : "out of memory");
  } else {
    sqlite3_busy_timeout(fdcIntDB, 5000);
    error = ExecIntQuery(QStringLiteral("VACUUM;"));
  }
  if (error.isEmpty()) return true;
  if (fdcIntDB) {
    sqlite3_close(fdcIntDB);
    fdcIntDB = nullptr;
  }
  const QString msg = QStringLiteral("Could not connect to the internal database \"%1\".%2%3%4Please reinstall the application")
                          .arg(path, QStringLiteral("\n"), NormalizeErrorText(error), QStringLiteral("\n"));
  ShowPlatformError(msg);
  if (failure) *failure = msg;
  return false;
}

bool TDM::DataModuleCreate(QString *failure) {
  // 1. Paths.
  try {
    InitAppPaths();
  } catch (const SettingsDirError &e) {
    ShowPlatformError(e.message);
    if (failure) *failure = e.message;
    return false;
  }
  const QString dir = SettingsDir();
  const QString prog = ProgramFolder();
  auto ensure = [&](const char *name, const QString &message, bool createEmpty) {
    const QString n = QString::fromLatin1(name);
    return EnsureUserFile(dir + n, prog + n, message.isEmpty() ? QString() : message.arg(dir + n), createEmpty);
  };
  // 2. The local database is required.
  if (!ensure("qrv.db", QStringLiteral("File \"%1\" not found. Please reinstall the application."), false)) {
    if (failure) *failure = QStringLiteral("File \"%1\" not found. Please reinstall the application.").arg(dir + "qrv.db");
    return false;
  }
  // 3-6. Word lists and definition files.
  const QString noHighlight = QStringLiteral("File \"%1\" not found. Syntax highlight will not be supported.");
  ensure("Keywords.ini", noHighlight, true);
  ensure("Functions.ini", noHighlight, true);
  ensure("Drivers.ini", QString(), true);
  ensure("Connections.ini", QString(), true);
  // The demo database of the delivered Demo connection travels the same way, silently.
  ensure("QuorvaneDemo.db", QString(), false);

  // 7. Open and compact the local database.
  if (!openLocalDatabase(failure)) return false;

  // 8. INI objects.
  FSettingsINI = std::make_unique<IniFile>(dir + QStringLiteral("Settings.ini"));
  FDriversINI = std::make_unique<IniFile>(dir + QStringLiteral("Drivers.ini"));
  FConnDefsINI = std::make_unique<IniFile>(dir + QStringLiteral("Connections.ini"));

  // 9. Connection definitions.
  loadConnectionDefinitions();

  // 10. Text lists.
  clearTextLists();

  // 11. Driver table.
  FAllDrivers = AllDrivers();

  // 12-13. Tree rows of every definition, then the start state of visibility.
  syncTree();
  return true;
}

void TDM::loadConnectionDefinitions() {
  FDManager.loadDriverDefs(FDriversINI->fileName());
  FDManager.loadConnectionDefs(FConnDefsINI->fileName());
}

void TDM::clearTextLists() {
  slDrivers.clear();
  slConns.clear();
  slDB.clear();
  slSchemas.clear();
  slTables.clear();
  slFields.clear();
}

void TDM::syncTree() {
  FTreeStore = std::make_unique<TreeStore>(fdcIntDB);
  // A local database without the tree tables gets them.
  QString err = FTreeStore->ensureTables();
  if (err.isEmpty()) err = PrepareTreeAtStart(*FTreeStore, *FDriversINI, *FConnDefsINI);
  if (!err.isEmpty()) AddToErrorLogDebug(err);
}

void TDM::DataModuleDestroy() {
  FTreeStore.reset();
  FSettingsINI.reset();
  FDriversINI.reset();
  FConnDefsINI.reset();
  clearTextLists();
  FAllDrivers.clear();
  if (fdcIntDB) {
    sqlite3_close(fdcIntDB);
    fdcIntDB = nullptr;
  }
}

}  // namespace qrv
