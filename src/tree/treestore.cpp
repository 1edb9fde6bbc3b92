#include "tree/treestore.h"

#include <sqlite3.h>

#include "dal/drivertable.h"
#include "dal/localsql.h"
#include "dal/sqlite_functions.h"
#include "util/inifile.h"

namespace qrv {

namespace {

QString lastError(sqlite3 *db) { return QString::fromUtf8(sqlite3_errmsg(db)); }

void bindText(sqlite3_stmt *st, int index, const QString &text) {
  // Bound in the database's encoding (UTF-8): Qt's converter is faster than SQLite's UTF-16 one, and a
  // refresh binds three texts for each of tens of thousands of rows.
  const QByteArray utf8 = text.toUtf8();
  sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Resets a cached statement when the scope ends, so that no read lock stays behind.
struct StmtReset {
  sqlite3_stmt *st;
  ~StmtReset() {
    if (st) {
      sqlite3_reset(st);
      sqlite3_clear_bindings(st);
    }
  }
};

}  // namespace

TreeStore::TreeStore(sqlite3 *db) : db_(db) {
  dal::RegisterProgramFunctions(db_);
  dal::RegisterFastNoCase(db_);
}

TreeStore::~TreeStore() {
  sqlite3_finalize(insert_);
  sqlite3_finalize(find_);
  sqlite3_finalize(delete_);
}

sqlite3_stmt *TreeStore::prepare(sqlite3_stmt *&slot, const char *sql, QString *error) {
  if (slot) return slot;
  if (!db_) {
    if (error) *error = QStringLiteral("The local database is not open");
    return nullptr;
  }
  if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr) != SQLITE_OK) {
    if (error) *error = lastError(db_);
    sqlite3_finalize(slot);
    slot = nullptr;
  }
  return slot;
}

QString TreeStore::exec(const char *sql) {
  if (!db_) return QStringLiteral("The local database is not open");
  return dal::ExecSql(db_, QString::fromUtf8(sql));
}

QString TreeStore::ensureTables() {
  std::lock_guard lock(mutex_);
  return exec(
      // A new file gets pages of 8 KiB (fewer splits of the long full-name keys); an existing one keeps
      // its size.
      "PRAGMA page_size = 8192;"
      "CREATE TABLE IF NOT EXISTS Tree (Name TEXT, FullName TEXT, Visible INT, Type INT, Level INT, "
      "Expanded INT, Info TEXT);"
      "CREATE INDEX IF NOT EXISTS IX_Tree_FullName ON Tree (FullName COLLATE NOCASE);"
      // Only the top three levels are looked up by level (the start state); an index over every row
      // made each of a refresh's inserts pay for it. Files of earlier versions drop the full one.
      "DROP INDEX IF EXISTS IX_Tree_Level;"
      "CREATE INDEX IF NOT EXISTS IX_Tree_Top ON Tree (Level) WHERE Level <= 2;"
      // The rows shown or expanded: a few among many, so the start-state reset need not read them all.
      "CREATE INDEX IF NOT EXISTS IX_Tree_Shown ON Tree (Level) WHERE Visible IS NOT 0 OR Expanded IS NOT 0;"
      "CREATE TABLE IF NOT EXISTS FilterRes (FullName TEXT, Type INT, Name TEXT, Info TEXT);");
}

bool TreeStore::AppendRecordToTree(const QString &name, const QString &fullName, bool visible, int type,
                                   int level, bool expanded, const QString &info) {
  std::lock_guard lock(mutex_);
  sqlite3_stmt *st = prepare(insert_,
                             "INSERT INTO Tree (Name, FullName, Visible, Type, Level, Expanded, Info) "
                             "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)",
                             nullptr);
  if (!st) return false;
  StmtReset reset{st};
  bindText(st, 1, name);
  bindText(st, 2, fullName);
  sqlite3_bind_int(st, 3, visible ? 1 : 0);
  sqlite3_bind_int(st, 4, type);
  sqlite3_bind_int(st, 5, level);
  sqlite3_bind_int(st, 6, expanded ? 1 : 0);
  bindText(st, 7, info);
  return sqlite3_step(st) == SQLITE_DONE;
}

QString TreeStore::DeleteFromTreeById(const QString &fullName, qint64 *removed) {
  std::lock_guard lock(mutex_);
  if (removed) *removed = 0;
  QString error;
  // The item itself, then everything whose name begins with the item's name and " > ". The prefix is
  // written as a range so that the NOCASE index on FullName is used: under NOCASE, the names in
  // ["X > ", "X >!") are exactly those beginning with "X > " ('!' follows the space).
  sqlite3_stmt *st = prepare(delete_,
                             "DELETE FROM Tree WHERE FullName = ?1 COLLATE NOCASE "
                             "OR (FullName >= ?2 COLLATE NOCASE AND FullName < ?3 COLLATE NOCASE)",
                             &error);
  if (!st) return error;
  StmtReset reset{st};
  bindText(st, 1, fullName);
  bindText(st, 2, fullName + QStringLiteral(" > "));
  bindText(st, 3, fullName + QStringLiteral(" >!"));
  if (sqlite3_step(st) != SQLITE_DONE) return lastError(db_);
  if (removed) *removed = sqlite3_changes64(db_);
  return QString();
}

bool TreeStore::FindTreeId(const QString &fullName, QString *error) {
  std::lock_guard lock(mutex_);
  if (error) error->clear();
  sqlite3_stmt *st = prepare(find_, "SELECT 1 FROM Tree WHERE FullName = ?1 COLLATE NOCASE LIMIT 1", error);
  if (!st) return false;
  StmtReset reset{st};
  bindText(st, 1, fullName);
  const int rc = sqlite3_step(st);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE && error) *error = lastError(db_);
  return false;
}

QString TreeStore::ResetVisibility() {
  std::lock_guard lock(mutex_);
  // The same end state as clearing every row and then showing levels 0 to 2, but only rows whose
  // flags change are written: the rows to hide are read through the index of shown rows, the levels 0
  // to 2 through the partial index of the top levels (its condition "Level <= 2" is spelled out, as
  // SQLite uses a partial index only for queries that state its condition).
  QString error = exec(
      "SAVEPOINT tree_start_state;"
      "UPDATE Tree SET Visible = 0, Expanded = 0 "
      "  WHERE (Level IS NULL OR Level NOT IN (0, 1, 2)) AND (Visible IS NOT 0 OR Expanded IS NOT 0);"
      "UPDATE Tree SET Visible = 1, Expanded = 1 "
      "  WHERE Level <= 2 AND Level IN (0, 1) AND (Visible IS NOT 1 OR Expanded IS NOT 1);"
      "UPDATE Tree SET Visible = 1, Expanded = 0 "
      "  WHERE Level <= 2 AND Level = 2 AND (Visible IS NOT 1 OR Expanded IS NOT 0);"
      "RELEASE tree_start_state;");
  if (!error.isEmpty()) exec("ROLLBACK TO tree_start_state; RELEASE tree_start_state;");
  return error;
}

int TreeLevelOf(const QString &fullName) { return int(fullName.count(QString(kTreeSeparator))); }

QString CutIdToLevel(const QString &fullName, int level, const QString &separator) {
  if (level < 0 || separator.isEmpty()) return QString();
  const QString text = fullName + separator;
  qsizetype pos = -1;
  qsizetype from = 0;
  for (int i = 0; i <= level; ++i) {
    pos = text.indexOf(separator, from);
    if (pos < 0) return QString();
    // The next search starts after this separator (its whole length, whatever the separator is).
    from = pos + separator.size();
  }
  return text.left(pos);
}

QString TreeFullNameToPath(const QString &fullName) {
  const QStringList levels = fullName.split(QString(kTreeSeparator));
  QString out;
  for (int i = 0; i < levels.size() && i <= 8; ++i) {
    if (i == TreeLevel::SchemaCategory || i == TreeLevel::ObjectCategory) continue;
    if (levels[i].isEmpty()) continue;
    out += QStringLiteral("[") + levels[i] + QStringLiteral("].");
  }
  out.chop(out.isEmpty() ? 0 : 1);
  return out;
}

void SyncTreeWithConnectionDefs(TreeStore &store, const IniFile &drivers, const IniFile &connections) {
  const QString sep(kTreeSeparator);
  for (const QString &section : connections.sections()) {
    const QString connName = section.trimmed();
    if (connName.isEmpty() || !connections.valueExists(section, QStringLiteral("DriverID"))) continue;
    const QString driverId = connections.readString(section, QStringLiteral("DriverID")).trimmed();
    if (driverId.isEmpty()) continue;
    QString rdbms = DriverIDToRDBMSName(driverId);
    if (rdbms.isEmpty() && drivers.valueExists(driverId, QStringLiteral("BaseDriverID")))
      rdbms = DriverIDToRDBMSName(drivers.readString(driverId, QStringLiteral("BaseDriverID")).trimmed());
    if (rdbms.isEmpty()) continue;
    if (!store.FindTreeId(rdbms))
      store.AppendRecordToTree(rdbms, rdbms, true, TreeKind::Rdbms, TreeLevel::Rdbms, true, QString());
    const QString connFullName = rdbms + sep + connName;
    if (!store.FindTreeId(connFullName))
      store.AppendRecordToTree(connName, connFullName, true, TreeKind::Connection, TreeLevel::Connection, true,
                               QString());
  }
}

void SyncTreeWithConnectionDefs(TreeStore &store, const QString &driversIniPath, const QString &connectionsIniPath) {
  const IniFile drivers(driversIniPath);
  const IniFile connections(connectionsIniPath);
  SyncTreeWithConnectionDefs(store, drivers, connections);
}

QString PrepareTreeAtStart(TreeStore &store, const IniFile &drivers, const IniFile &connections) {
  SyncTreeWithConnectionDefs(store, drivers, connections);
  return store.ResetVisibility();
}

}  // namespace qrv
