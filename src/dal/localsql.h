#pragma once
// Local SQL over memory tables: a memory table registered under a name on an SQLite connection becomes
// a (virtual) table of that connection. rowid is the record's 0-based position in the table's unsorted
// order; records marked deleted are included, records removed by applied deletes are not. A table that
// is closed or freed while registered gives an SQL error on use.
#include <QString>
#include <QVariant>

#include "dal/memtable.h"
#include "dal/rowset.h"

struct sqlite3;
struct sqlite3_stmt;

namespace qrv::dal {

// Makes the table known as `name` on the connection (a virtual table in the temp schema). An existing
// registration or temporary table of that name is replaced. The connection does not own the table.
bool RegisterMemTable(sqlite3 *db, const QString &name, const MemTable &table, QString *err = nullptr);
bool UnregisterMemTable(sqlite3 *db, const QString &name, QString *err = nullptr);

// The SQLite column type declared for a field ("WideString TEXT(100)", "FMTBcd NUMERIC(18,2)"): the
// program's type name first, then a word that gives SQLite the right affinity.
QString SqliteDeclaredType(const FieldDef &f);
// The field described by a declared SQLite column type; false when the text gives no type.
bool FieldFromDeclaredType(const QString &declType, FieldDef *f);

// Executes the statements of a text on an SQLite handle; returns the error text, empty on success.
QString ExecSql(sqlite3 *db, const QString &sql);

// Reads every row of a prepared statement (stepping it to the end) into a RowSet. Column types come from
// the declared types, else from the first non-null value of the column. nullptr with err on failure.
RowSetPtr ReadSqliteRows(sqlite3 *db, sqlite3_stmt *stmt, QString *err = nullptr);

// A private in-memory SQLite database with the program's functions, for SQL over memory tables.
class LocalSql {
 public:
  LocalSql() = default;
  ~LocalSql();
  LocalSql(const LocalSql &) = delete;
  LocalSql &operator=(const LocalSql &) = delete;

  bool open(QString *err = nullptr);
  void close();
  bool isOpen() const { return db_ != nullptr; }
  sqlite3 *handle() const { return db_; }

  bool registerTable(const QString &name, const MemTable &table, QString *err = nullptr);
  bool unregisterTable(const QString &name, QString *err = nullptr);

  // Runs the statements of a text and returns the rows of the first one that returns rows (statements
  // after it are not run). nullptr with err on failure or when no statement returns rows.
  RowSetPtr query(const QString &sql, QString *err = nullptr);
  // Runs every statement of a text.
  bool exec(const QString &sql, QString *err = nullptr);
  // The first column of the first row; invalid when there is none or on failure (err set then).
  QVariant scalar(const QString &sql, QString *err = nullptr);

 private:
  sqlite3 *db_ = nullptr;
};

}  // namespace qrv::dal
