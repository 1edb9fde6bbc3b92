// Memory table on 1,000,000 rows x 6 mixed columns: fill, sort, a full local-SQL scan against the same
// query on a native SQLite table, and save/load in each storage format. Prints times, memory per row and
// the local-SQL / native scan ratio (target <= 2.0).
#include <sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>

#include "dal/localsql.h"
#include "dal/memtable.h"
#include "dal/storage_formats.h"

using namespace qrv::dal;

namespace {

FieldDef Fld(const char *name, FieldType t) {
  FieldDef f;
  f.name = QString::fromLatin1(name);
  f.type = t;
  return f;
}

template <typename F>
double Ms(F f) {
  QElapsedTimer t;
  t.start();
  f();
  return double(t.nsecsElapsed()) / 1e6;
}

template <typename F>
double BestMs(int runs, F f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, Ms(f));
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 1000000;
  std::printf("bench_memtable: %d rows x 6 columns\n", n);

  auto src = std::make_shared<RowSet>(FieldDefs{Fld("id", FieldType::Integer), Fld("name", FieldType::WideString),
                                                Fld("amount", FieldType::FMTBcd), Fld("score", FieldType::Float),
                                                Fld("created", FieldType::DateTime), Fld("flag", FieldType::Boolean)});
  std::mt19937 rng(42);
  const char letters[] = "abcdefghijklmnopqrstuvwxyz";
  const double tBuild = Ms([&] {
    src->reserve(n);
    char buf[64];
    for (int i = 0; i < n; ++i) {
      src->appendInt(0, i);
      int len = 6 + int(rng() % 10);
      for (int k = 0; k < len; ++k) buf[k] = letters[rng() % 26];
      if (i % 50 == 0) src->appendNull(1);
      else src->appendUtf8(1, buf, len);
      len = std::snprintf(buf, sizeof buf, "%d.%02d", int(rng() % 100000), int(rng() % 100));
      src->appendUtf8(2, buf, len);
      src->appendDouble(3, double(rng()) / 1e5);
      len = std::snprintf(buf, sizeof buf, "2024-%02d-%02d %02d:%02d:%02d", int(rng() % 12 + 1), int(rng() % 28 + 1),
                          int(rng() % 24), int(rng() % 60), int(rng() % 60));
      src->appendUtf8(4, buf, len);
      if (i % 7 == 0) src->appendNull(5);
      else src->appendInt(5, rng() & 1);
      src->endRow();
    }
  });
  std::printf("%-34s %9.1f ms\n", "build fetched rows", tBuild);

  MemTable t;
  std::printf("%-34s %9.1f ms\n", "fill by copy", Ms([&] { t.copyFrom(*src); }));
  MemTable cursor2;
  std::printf("%-34s %9.3f ms\n", "fill as second cursor", Ms([&] { cursor2.setRows(src); }));
  std::printf("%-34s %9.1f bytes\n", "memory per row", double(t.memoryUsed()) / n);

  std::printf("%-34s %9.1f ms\n", "sort \"name:A;amount:D\"",
              Ms([&] { t.setIndexFieldNames(QStringLiteral("name:A;amount:D")); }));
  std::printf("%-34s %9.1f ms\n", "sort \"score:D\"", Ms([&] { t.setIndexFieldNames(QStringLiteral("score:D")); }));
  std::printf("%-34s %9.1f ms\n", "sort \"id:D\"", Ms([&] { t.setIndexFieldNames(QStringLiteral("id:D")); }));
  std::printf("%-34s %9.1f bytes\n", "memory per row (sorted)", double(t.memoryUsed()) / n);
  t.setIndexFieldNames(QString());

  // Local SQL scan against a native table with the same rows.
  LocalSql sql;
  QString err;
  if (!sql.open(&err) || !sql.registerTable(QStringLiteral("t"), t, &err)) {
    std::printf("local SQL failed: %s\n", qPrintable(err));
    return 1;
  }
  const QString q = QStringLiteral("SELECT count(*) FROM %1 WHERE name LIKE '%x%'");
  qint64 cLocal = 0, cNative = 0;
  const double tLocal = BestMs(3, [&] { cLocal = sql.scalar(q.arg("t")).toLongLong(); });
  const double tCopy = Ms([&] {
    sql.exec(QStringLiteral("CREATE TABLE n(id INTEGER, name TEXT, amount NUMERIC, score REAL, created TEXT, flag INTEGER);"
                            "INSERT INTO n SELECT * FROM t;"),
             &err);
  });
  const double tNative = BestMs(3, [&] { cNative = sql.scalar(q.arg("n")).toLongLong(); });
  std::printf("%-34s %9.1f ms (%lld matches)\n", "local SQL scan (LIKE '%x%')", tLocal, cLocal);
  std::printf("%-34s %9.1f ms\n", "copy into a native table", tCopy);
  std::printf("%-34s %9.1f ms (%lld matches)\n", "native table scan", tNative, cNative);
  std::printf("%-34s %9.2f (target <= 2.0)\n", "ratio local / native", tLocal / tNative);
  const double tWin = Ms([&] {
    sql.query(QStringLiteral("SELECT rowid + 1 AS Id, row_number() OVER (ORDER BY \"score\" DESC) AS R FROM t"), &err);
  });
  std::printf("%-34s %9.1f ms\n", "row_number() over a sort", tWin);

  QTemporaryDir dir;
  for (StorageFormat f : {StorageFormat::Json, StorageFormat::Xml, StorageFormat::Binary}) {
    const char *name = f == StorageFormat::Json ? "JSON" : f == StorageFormat::Xml ? "XML" : "binary";
    const QString path = dir.filePath(QStringLiteral("data.out"));
    bool ok = true;
    const double ts = Ms([&] { ok = SaveToFile(t, path, f, false, &err); });
    const qint64 size = QFileInfo(path).size();
    MemTable back;
    const double tl = Ms([&] { ok = ok && LoadTableFromFile(back, path, f, &err); });
    std::printf("save %-6s %9.1f ms  load %9.1f ms  %6.1f bytes/row%s\n", name, ts, tl, double(size) / n,
                ok && back.recordCount() == n ? "" : "  FAILED");
  }
  return 0;
}
