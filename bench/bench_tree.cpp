// Tree store at two sizes: time per call of the item look-up, the deletion of a small subtree and the
// start-state reset, and how they grow from 10,000 to 1,000,000 rows.
//
//   bench_tree [smallRows] [largeRows]
#include <sqlite3.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <random>

#include "tree/treekinds.h"
#include "tree/treestore.h"

using namespace qrv;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kColumnsPerTable = 8;
constexpr int kRowsPerTable = 2 + kColumnsPerTable;  // table, "Columns" category, the columns

void exec(sqlite3 *db, const char *sql) {
  char *err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    std::fprintf(stderr, "SQL error: %s\n", err ? err : "?");
    std::exit(1);
  }
}

QString tablePath(int table) {
  // 5 connections x 4 databases; tables spread over them.
  const int conn = table % 5, database = (table / 5) % 4;
  return QStringLiteral("PostgreSQL > conn%1 > db%2 > public > Tables > table_%3").arg(conn).arg(database).arg(table);
}

// Fills the tree with about `rows` rows: the top levels, then tables with a category and columns each.
int fill(TreeStore &store, sqlite3 *db, int rows) {
  exec(db, "BEGIN");
  const QString sep(kTreeSeparator);
  store.AppendRecordToTree("PostgreSQL", "PostgreSQL", true, TreeKind::Rdbms, 0, true, QString());
  for (int c = 0; c < 5; ++c) {
    const QString conn = QStringLiteral("PostgreSQL > conn%1").arg(c);
    store.AppendRecordToTree(QStringLiteral("conn%1").arg(c), conn, true, TreeKind::Connection, 1, true, QString());
    for (int d = 0; d < 4; ++d) {
      const QString dbName = conn + sep + QStringLiteral("db%1").arg(d);
      store.AppendRecordToTree(QStringLiteral("db%1").arg(d), dbName, true, TreeKind::Database, 2, false, QString());
      store.AppendRecordToTree("public", dbName + " > public", false, TreeKind::Schema, 3, false, QString());
      store.AppendRecordToTree("Tables", dbName + " > public > Tables", false, TreeKind::Category, 4, false, " (0)");
    }
  }
  const int tables = rows / kRowsPerTable;
  for (int t = 0; t < tables; ++t) {
    const QString path = tablePath(t);
    store.AppendRecordToTree(path.section(sep, -1), path, false, TreeKind::Table, 5, false, QString());
    const QString cat = path + " > Columns";
    store.AppendRecordToTree("Columns", cat, false, TreeKind::Category, 6, false, CategoryInfo(kColumnsPerTable));
    for (int c = 0; c < kColumnsPerTable; ++c)
      store.AppendRecordToTree(QStringLiteral("col%1").arg(c), cat + QStringLiteral(" > col%1").arg(c), false,
                               TreeKind::Column, 7, false, " integer");
  }
  exec(db, "COMMIT");
  return tables;
}

struct Result {
  double findUs = 0, deleteUs = 0, deleteInTxUs = 0, resetUs = 0, substringDeleteUs = 0;
};

double usSince(Clock::time_point start, int calls) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

Result measure(int rows) {
  QTemporaryDir dir;
  sqlite3 *db = nullptr;
  if (sqlite3_open(dir.filePath("qrv.db").toUtf8().constData(), &db) != SQLITE_OK) std::exit(1);
  Result r;
  {
    TreeStore store(db);
    store.ensureTables();
    const int tables = fill(store, db, rows);
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(0, tables - 1);

    // Look-ups: existing items in another case, and misses.
    const int finds = 20000;
    int found = 0;
    auto start = Clock::now();
    for (int i = 0; i < finds; ++i) {
      QString name = tablePath(pick(rng)) + QStringLiteral(" > Columns > col%1").arg(i % kColumnsPerTable);
      if (i % 4 == 0) name += "x";  // a miss
      if (i % 2) name = name.toUpper();
      found += store.FindTreeId(name) ? 1 : 0;
    }
    r.findUs = usSince(start, finds);
    if (found == 0) std::fprintf(stderr, "no item found\n");

    // Deletion of one table with its category and columns, each call another table.
    const int deletes = 500;
    start = Clock::now();
    for (int i = 0; i < deletes; ++i) store.DeleteFromTreeById(tablePath((i * 7919) % tables));
    r.deleteUs = usSince(start, deletes);

    // The same inside one transaction: the statement's own work, without the journal write per call.
    exec(db, "BEGIN");
    start = Clock::now();
    for (int i = 0; i < deletes; ++i) store.DeleteFromTreeById(tablePath((i * 7919 + 1) % tables));
    r.deleteInTxUs = usSince(start, deletes);
    exec(db, "COMMIT");

    // The same deletion as a comparison of the first characters of every row (a scan of the table).
    const int substringDeletes = rows > 100000 ? 5 : 50;
    start = Clock::now();
    for (int i = 0; i < substringDeletes; ++i) {
      const QString prefix = tablePath((i * 104729 + 13) % tables) + " > ";
      const QByteArray sql = QStringLiteral("DELETE FROM Tree WHERE SUBSTRING(FullName || ' > ', 1, %1) = '%2' COLLATE NOCASE")
                                 .arg(prefix.size())
                                 .arg(prefix)
                                 .toUtf8();
      exec(db, sql.constData());
    }
    r.substringDeleteUs = usSince(start, substringDeletes);

    // Start-state reset after the user expanded items: 300 rows shown at either size.
    const int resets = rows > 100000 ? 5 : 50;
    const QByteArray expand =
        QStringLiteral("UPDATE Tree SET Visible = 1, Expanded = 1 WHERE rowid % %1 = 1").arg(rows / 300).toUtf8();
    double total = 0;
    for (int i = 0; i < resets; ++i) {
      exec(db, expand.constData());
      start = Clock::now();
      store.ResetVisibility();
      total += std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    }
    r.resetUs = total / resets;
  }
  sqlite3_close(db);
  return r;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const int small = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int large = argc > 2 ? std::atoi(argv[2]) : 1000000;
  std::printf("Tree store, time per call in microseconds (file database)\n");
  const Result s = measure(small);
  const Result l = measure(large);
  std::printf("%-34s %12s %12s %10s\n", "operation", QByteArray::number(small).constData(),
              QByteArray::number(large).constData(), "ratio");
  auto line = [](const char *name, double a, double b) { std::printf("%-34s %12.2f %12.2f %10.2f\n", name, a, b, b / a); };
  line("FindTreeId", s.findUs, l.findUs);
  line("DeleteFromTreeById (10 rows)", s.deleteUs, l.deleteUs);
  line("  same, in one transaction", s.deleteInTxUs, l.deleteInTxUs);
  line("start-state reset (300 shown)", s.resetUs, l.resetUs);
  line("delete by SUBSTRING (full scan)", s.substringDeleteUs, l.substringDeleteUs);
  return 0;
}
