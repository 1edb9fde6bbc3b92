#pragma once
// Writing the cached updates of a memory table back to its table on a connection: INSERT, UPDATE and
// DELETE statements, each row on its own, with a WHERE clause built from the row's original values.
#include <QString>
#include <QStringList>
#include <QVariant>

#include "dal/connection.h"
#include "dal/memtable.h"

namespace qrv::dal {

// "name" for PostgreSQL, SQLite, Firebird, Oracle and most others, `name` for MySQL, [name] for
// MS SQL Server and MS Access; the quote character inside a name is doubled.
QString QuoteIdentifier(const QString &driverId, const QString &name);
// schema.table quoted, or the table alone when the schema is empty.
QString QuoteTableName(const QString &driverId, const QString &schema, const QString &table);
// A value of a field as an SQL literal of the system: numbers bare, text and dates quoted with quotes
// (and, for MySQL, backslashes) doubled, binary values in the system's hexadecimal form, NULL.
QString SqlLiteral(const QString &driverId, const FieldDef &field, const QVariant &value);

// The parts of "SELECT <list> FROM <one table> [alias] [WHERE ... | ORDER BY ... | LIMIT ...]".
struct SingleTableSelect {
  QString schema, table;  // names as the server knows them (unquoted names folded for the system)
  bool star = false;      // the list has * or alias.*
  // One entry per item of the list: the column name for a plain column, empty for an expression;
  // alias = the name the item gets in the result.
  struct Item {
    QString column;
    QString alias;
  };
  QList<Item> items;
};
// False when the text is not such a statement (joins, several tables, subqueries in FROM, unions,
// grouping, DISTINCT, CTEs).
bool ParseSingleTableSelect(const QString &driverId, const QString &sql, SingleTableSelect *out);

// Finds the table the result came from and marks the fields that cannot be written back read-only.
// The table is, in this order: the one set with MemTable::setUpdateTable; the origin table the
// driver gave for the fields; the table of a single-table SELECT text. Fields of other tables and
// computed fields become read-only. False with err set when no table can be found.
bool ResolveUpdateTable(MemTable &table, const QString &driverId, const QString &selectSql, QString *err);
// The same after asking the connection for the origin names of the fields (a catalog query on servers
// that give only ids); call it when no cursor of the connection is in use.
bool ResolveUpdateTable(MemTable &table, Connection &conn, const QString &selectSql, QString *err);

// The statements for one pending change of a row (see MemTable::pendingChanges). Empty with err set when
// the row cannot be written (no column to identify it).
QString BuildInsertSql(const MemTable &t, const QString &driverId, qsizetype row, QString *err = nullptr);
QString BuildUpdateSql(const MemTable &t, const QString &driverId, qsizetype row, QString *err = nullptr);
QString BuildDeleteSql(const MemTable &t, const QString &driverId, qsizetype row, QString *err = nullptr);

struct ApplyResult {
  int applied = 0;
  int failed = 0;
  QStringList errors;  // one text per failed change: "Record %1: <message>"
  QString errorText() const { return errors.join(QStringLiteral("\r\n")); }
};

// Applies every pending change of the table (ResolveUpdateTable must have succeeded) and empties the log:
// applied changes stay, failed ones are dropped. A failing change does not stop the others. A change
// that would touch no record (changed or deleted by another session) or more than one record fails;
// on systems with transactions such a statement is rolled back.
ApplyResult ApplyUpdates(MemTable &table, Connection &conn);

}  // namespace qrv::dal
