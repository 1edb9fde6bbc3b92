#pragma once
// The database tree as a flat table of the local database (qrv.db):
//
//   Tree (Name TEXT, FullName TEXT, Visible INT, Type INT, Level INT, Expanded INT, Info TEXT)
//   FilterRes (FullName TEXT, Type INT, Name TEXT, Info TEXT)
//
// FullName is the item's path, the names of its levels joined by " > "; it identifies the item and is
// compared ignoring case (through the NOCASE index on FullName). TreeStore holds the operations on the
// table; it does not own the database handle.
#include <QString>
#include <QStringList>
#include <mutex>

#include "tree/treekinds.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qrv {

class IniFile;

class TreeStore {
 public:
  // Registers REGEXP and DoFindRegEx on the handle as well (harmless when already done).
  explicit TreeStore(sqlite3 *db);
  ~TreeStore();
  TreeStore(const TreeStore &) = delete;
  TreeStore &operator=(const TreeStore &) = delete;

  sqlite3 *db() const { return db_; }

  // Creates Tree, FilterRes and the indexes on Tree(FullName COLLATE NOCASE) and Tree(Level) when the
  // database lacks them, and the index of shown or expanded rows that keeps ResetVisibility from
  // reading every row. Call it once after opening the database. Returns the error text, empty on success.
  QString ensureTables();

  // Inserts one row. Every error of the insert is ignored (the item is then missing); the result only
  // tells whether the row went in.
  bool AppendRecordToTree(const QString &name, const QString &fullName, bool visible, int type, int level,
                          bool expanded, const QString &info);

  // Removes the item and every item below it, ignoring case: "A > B" removes "a > b" and "A > B > C",
  // not "A > BC". Returns the error text, empty on success; removed (optional) gets the row count.
  QString DeleteFromTreeById(const QString &fullName, qint64 *removed = nullptr);

  // Whether the tree has an item with this full name, ignoring case. On a database error the result is
  // false and error (optional) gets the text.
  bool FindTreeId(const QString &fullName, QString *error = nullptr);

  // The start state of visibility: RDBMS and connection rows shown and expanded, database rows shown
  // and collapsed, every other row hidden and collapsed. Returns the error text, empty on success.
  QString ResetVisibility();

 private:
  sqlite3_stmt *prepare(sqlite3_stmt *&slot, const char *sql, QString *error);
  QString exec(const char *sql);

  sqlite3 *db_;
  std::recursive_mutex mutex_;
  sqlite3_stmt *insert_ = nullptr;
  sqlite3_stmt *find_ = nullptr;
  sqlite3_stmt *delete_ = nullptr;
};

// The number of " > " separators of a full name.
int TreeLevelOf(const QString &fullName);

// The full name cut to its levels 0 to level: "A > B > C" cut to 1 gives "A > B"; an empty text when
// the name has fewer levels (cut to 3 gives "").
QString CutIdToLevel(const QString &fullName, int level, const QString &separator = QString(kTreeSeparator));

// The bracket path of cross-database references: the levels 0 to 8 without the category levels 4 and
// 6 and without empty levels, each as "[name]", joined by dots.
QString TreeFullNameToPath(const QString &fullName);

// Adds the RDBMS and connection rows of every connection definition that are not in the tree yet.
// Each section of Connections.ini is read on its own: its DriverID names a base driver or a virtual
// driver of Drivers.ini (whose BaseDriverID is then used); a section without a known driver gets no
// rows. Rows of connections no longer defined are left alone.
void SyncTreeWithConnectionDefs(TreeStore &store, const IniFile &drivers, const IniFile &connections);
void SyncTreeWithConnectionDefs(TreeStore &store, const QString &driversIniPath, const QString &connectionsIniPath);

// The tree's part of start-up: the rows of every connection definition, then the start state of
// visibility. Returns the error text of the visibility reset, empty on success.
QString PrepareTreeAtStart(TreeStore &store, const IniFile &drivers, const IniFile &connections);

}  // namespace qrv
