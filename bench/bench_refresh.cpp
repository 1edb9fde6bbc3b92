// Tree refresh through the generic metadata walk: N tables of 20 columns, 2 indexes and a foreign key
// each, in SQLite (the whole database) and in PostgreSQL (one schema of the test database). Prints the
// rows written per second and the ratio of the walk's time to reading the same metadata straight from
// the client library (one catalog request per table and kind, as the walk asks).
//
//   bench_refresh [tables=2000] [sqlite|pg|all]
//
// PostgreSQL settings come from the environment or the test servers' servers.env (QRV_PG_*).
#include <libpq-fe.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <chrono>
#include <cstdio>

#include "dal/conn_manager.h"
#include "tree/catalogrefresh.h"
#include "tree/metarefresh.h"
#include "tree/refreshcontext.h"
#include "tree/treerefresh.h"
#include "tree/treestore.h"

using namespace qrv;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kColumns = 20;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

[[noreturn]] void die(const QString &what) {
  std::fprintf(stderr, "%s\n", what.toLocal8Bit().constData());
  std::exit(1);
}

// QRV_PG_* from the environment, else from the test servers' settings file.
QString setting(const char *key) {
  const QByteArray env = qgetenv(key);
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  QFile f(QStringLiteral("/tmp/qrv-test-servers/servers.env"));
  if (f.open(QIODevice::ReadOnly)) {
    QTextStream in(&f);
    while (!in.atEnd()) {
      const QString line = in.readLine();
      if (line.startsWith(QLatin1String(key) + u'=')) return line.mid(int(qstrlen(key)) + 1);
    }
  }
  return QString();
}

// The DDL of table i: 20 columns, a foreign key to table i - 1 (the first one to itself), and two
// indexes besides the primary key's.
QStringList tableDdl(int i, const QString &prefix) {
  const QString t = QStringLiteral("%1t%2").arg(prefix).arg(i, 5, 10, QLatin1Char('0'));
  const QString ref = QStringLiteral("%1t%2").arg(prefix).arg(qMax(0, i - 1), 5, 10, QLatin1Char('0'));
  QString cols = QStringLiteral("id integer PRIMARY KEY, ref_id integer REFERENCES %1(id) ON DELETE CASCADE").arg(ref);
  for (int c = 2; c < kColumns; ++c)
    cols += c % 2 ? QStringLiteral(", c%1 numeric(10,2)").arg(c) : QStringLiteral(", c%1 varchar(100)").arg(c);
  return {QStringLiteral("CREATE TABLE %1 (%2)").arg(t, cols),
          QStringLiteral("CREATE INDEX %1_a ON %1 (c2)").arg(t),
          QStringLiteral("CREATE INDEX %1_b ON %1 (c3, c4)").arg(t)};
}

struct WalkResult {
  double seconds = 0;
  qint64 rows = 0;
  double metaSeconds = 0;  // spent inside the data-access layer's metadata requests
  int requests = 0;
};

// Counts the time of the metadata requests, to tell the data-access layer's share from the walk's.
double gMetaSeconds = 0;
int gMetaRequests = 0;
MetaDataOpenFn gRealOpen = nullptr;
QString timedOpen(dal::Connection &conn, dal::MetaKind kind, const QString &object, const QString &schema,
                  dal::RowSetPtr *out) {
  const auto t0 = Clock::now();
  const QString err = gRealOpen(conn, kind, object, schema, out);
  gMetaSeconds += secondsSince(t0);
  ++gMetaRequests;
  return err;
}

// A refresh context over a fresh local database in WAL mode and one connection definition.
struct Walk {
  QTemporaryDir dir;
  dal::ConnectionManager manager;
  sqlite3 *db = nullptr;
  std::unique_ptr<TreeStore> store;
  TreeRefreshContext ctx;

  explicit Walk(const QString &ini) {
    QFile f(dir.path() + QStringLiteral("/Connections.ini"));
    if (!f.open(QIODevice::WriteOnly) || f.write(ini.toUtf8()) < 0) die(QStringLiteral("cannot write Connections.ini"));
    f.close();
    manager.loadConnectionDefs(f.fileName());
    QString err;
    db = OpenLocalDbForRefresh(dir.path() + QStringLiteral("/qrv.db"), &err);
    if (!db) die(err);
    store = std::make_unique<TreeStore>(db);
    if (!(err = store->ensureTables()).isEmpty()) die(err);
    ctx.manager = &manager;
    ctx.store = store.get();
    ctx.settingsDir = dir.path() + u'/';
  }
  ~Walk() {
    ctx.catalog.reset();
    store.reset();
    sqlite3_close(db);
  }
  qint64 treeRows() {
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM Tree", -1, &st, nullptr);
    sqlite3_step(st);
    const qint64 n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
  }
  template <typename Fn>
  WalkResult time(Fn fn) {
    const qint64 before = treeRows();
    gRealOpen = MetaDataOpen;
    MetaDataOpen = timedOpen;
    gMetaSeconds = 0;
    gMetaRequests = 0;
    const auto t0 = Clock::now();
    const QString err = fn();
    WalkResult r{secondsSince(t0), treeRows() - before, gMetaSeconds, gMetaRequests};
    MetaDataOpen = gRealOpen;
    if (!err.isEmpty()) die(QStringLiteral("refresh failed: ") + err);
    return r;
  }
};

void report(const char *what, int tables, const WalkResult &walk, double direct) {
  std::printf("%s: %d tables, %lld rows written in %.3f s = %.0f rows/s; direct metadata read %.3f s; "
              "walk/direct ratio %.2f (target <= 3)\n",
              what, tables, static_cast<long long>(walk.rows), walk.seconds, walk.rows / walk.seconds, direct,
              walk.seconds / direct);
  std::printf("  of the walk: %d metadata requests of the data-access layer %.3f s (ratio to direct %.2f); "
              "the walk's own work (lists, texts, tree writes) %.3f s (ratio to direct %.2f)\n",
              walk.requests, walk.metaSeconds, walk.metaSeconds / direct, walk.seconds - walk.metaSeconds,
              (walk.seconds - walk.metaSeconds) / direct);
}

// The best of a few alternating rounds of the direct read and the walk: the fastest round is the
// one least disturbed by the rest of the machine, and alternating exposes both to the same periods.
constexpr int kRounds = 3;
template <typename Direct, typename WalkFn>
std::pair<double, WalkResult> bestOf(Direct direct, WalkFn walk) {
  double bestDirect = 0;
  WalkResult bestWalk;
  for (int i = 0; i < kRounds; ++i) {
    const double d = direct();
    const WalkResult w = walk();
    if (i == 0 || d < bestDirect) bestDirect = d;
    if (i == 0 || w.seconds < bestWalk.seconds) bestWalk = w;
  }
  return {bestDirect, bestWalk};
}

// ---- SQLite ----

void sqliteExec(sqlite3 *db, const QString &sql) {
  char *err = nullptr;
  if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) die(QString::fromUtf8(err));
}

// Reads every value of a statement's rows (the work a metadata reader does with them).
qint64 drain(sqlite3 *db, const QString &sql) {
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) die(sqlite3_errmsg(db));
  qint64 bytes = 0;
  while (sqlite3_step(st) == SQLITE_ROW)
    for (int c = 0; c < sqlite3_column_count(st); ++c) bytes += sqlite3_column_bytes(st, c), sqlite3_column_text(st, c);
  sqlite3_finalize(st);
  return bytes;
}

void benchSqlite(int tables) {
  QTemporaryDir data;
  const QString file = data.path() + QStringLiteral("/bench.db");
  sqlite3 *db = nullptr;
  if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK) die(QStringLiteral("cannot create the SQLite file"));
  sqliteExec(db, QStringLiteral("BEGIN"));
  for (int i = 0; i < tables; ++i)
    for (const QString &s : tableDdl(i, QStringLiteral("b"))) sqliteExec(db, s);
  sqliteExec(db, QStringLiteral("COMMIT"));
  sqlite3_close(db);

  // Straight from the library: open the file (the walk opens its own connection too, and the first
  // statement reads the schema), the table list, then columns, indexes and foreign keys of each table.
  auto direct = [&] {
    const auto t0 = Clock::now();
    if (sqlite3_open(file.toUtf8().constData(), &db) != SQLITE_OK) die(QStringLiteral("cannot open the SQLite file"));
    QStringList names;
    {
      sqlite3_stmt *st = nullptr;
      sqlite3_prepare_v2(db, "SELECT name, type FROM sqlite_master WHERE type IN ('table','view') ORDER BY 1", -1, &st,
                         nullptr);
      while (sqlite3_step(st) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
      sqlite3_finalize(st);
    }
    for (const QString &t : names) {
      drain(db, QStringLiteral("PRAGMA table_info(\"%1\")").arg(t));
      const QString ixList = QStringLiteral("PRAGMA index_list(\"%1\")").arg(t);
      drain(db, ixList);
      drain(db, ixList);  // the primary key is read from the index list as well
      drain(db, QStringLiteral("PRAGMA foreign_key_list(\"%1\")").arg(t));
    }
    sqlite3_close(db);
    return secondsSince(t0);
  };
  // A full refresh into a new local database each round.
  auto walk = [&] {
    Walk w(QStringLiteral("[bench_lite]\nDriverID=SQLite\nDatabase=%1\n").arg(file));
    return w.time([&] { return RefreshTreeItem(w.ctx, QStringLiteral("SQLite > bench_lite")); });
  };
  const auto [d, r] = bestOf(direct, walk);
  report("SQLite", tables, r, d);
}

// ---- PostgreSQL ----

PGresult *pgExec(PGconn *c, const QString &sql, const QStringList &params = {}) {
  if (params.isEmpty()) {  // the simple protocol: several statements in one text
    PGresult *r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) die(QString::fromUtf8(PQerrorMessage(c)) + u'\n' + sql.left(200));
    return r;
  }
  QList<QByteArray> bytes;
  std::vector<const char *> values;
  for (const QString &p : params) bytes << p.toUtf8();
  for (const QByteArray &b : bytes) values.push_back(b.constData());
  PGresult *r = PQexecParams(c, sql.toUtf8().constData(), int(values.size()), nullptr, values.data(), nullptr,
                             nullptr, 0);
  const ExecStatusType s = PQresultStatus(r);
  if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) die(QString::fromUtf8(PQerrorMessage(c)) + u'\n' + sql.left(200));
  return r;
}

qint64 pgDrain(PGconn *c, const QString &sql, const QStringList &params) {
  PGresult *r = pgExec(c, sql, params);
  qint64 bytes = 0;
  for (int row = 0; row < PQntuples(r); ++row)
    for (int col = 0; col < PQnfields(r); ++col) bytes += qstrlen(PQgetvalue(r, row, col));
  PQclear(r);
  return bytes;
}

// Drops the schema of an earlier run, its tables newest first and in steps, within the lock slots of
// one transaction.
void dropPgSchema(PGconn *c, const QString &schema) {
  PGresult *r = pgExec(c, QStringLiteral("SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
                                         "c.relnamespace WHERE n.nspname = $1 AND c.relkind = 'r' ORDER BY 1 DESC"),
                       {schema});
  QStringList names;
  for (int i = 0; i < PQntuples(r); ++i) names << QString::fromUtf8(PQgetvalue(r, i, 0));
  PQclear(r);
  for (qsizetype from = 0; from < names.size(); from += 100) {
    QString sql;
    for (const QString &t : names.mid(from, 100)) sql += QStringLiteral("DROP TABLE %1.%2 CASCADE;").arg(schema, t);
    PQclear(pgExec(c, sql));
  }
  PQclear(pgExec(c, QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema)));
}

void benchPg(int tables) {
  const QString host = setting("QRV_PG_HOST"), port = setting("QRV_PG_PORT"), user = setting("QRV_PG_USER"),
                pwd = setting("QRV_PG_PASSWORD"), dbName = setting("QRV_PG_DB");
  if (host.isEmpty()) die(QStringLiteral("QRV_PG_HOST is not set: start the test servers"));
  const QString conninfo =
      QStringLiteral("host=%1 port=%2 user=%3 password=%4 dbname=%5").arg(host, port, user, pwd, dbName);
  PGconn *c = PQconnectdb(conninfo.toUtf8().constData());
  if (PQstatus(c) != CONNECTION_OK) die(QString::fromUtf8(PQerrorMessage(c)));
  const QString schema = QStringLiteral("qrv_bench_refresh");
  dropPgSchema(c, schema);
  PQclear(pgExec(c, QStringLiteral("CREATE SCHEMA %1").arg(schema)));
  PQclear(pgExec(c, QStringLiteral("SET search_path TO %1").arg(schema)));
  // In steps of 200 tables: one transaction for all of them runs out of lock slots.
  for (int from = 0; from < tables; from += 200) {
    QString ddl = QStringLiteral("BEGIN;\n");
    for (int i = from; i < qMin(tables, from + 200); ++i)
      ddl += tableDdl(i, QStringLiteral("b")).join(QStringLiteral(";\n")) + QStringLiteral(";\n");
    PQclear(pgExec(c, ddl + QStringLiteral("COMMIT;")));
  }

  // Straight from the library: the table list of the schema, then per table its columns, indexes,
  // primary key and foreign keys from the system catalogs.
  auto direct = [&] {
    const auto t0 = Clock::now();
    PGresult *list = pgExec(c, QStringLiteral("SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n ON "
                                              "n.oid = c.relnamespace WHERE n.nspname = $1 AND c.relkind IN ('r','v') "
                                              "ORDER BY 1"),
                            {schema});
    QStringList names;
    for (int r = 0; r < PQntuples(list); ++r) names << QString::fromUtf8(PQgetvalue(list, r, 0));
    PQclear(list);
    for (const QString &t : names) {
      const QStringList p{schema + u'.' + t};
      pgDrain(c, QStringLiteral("SELECT a.attname, format_type(a.atttypid, a.atttypmod), a.attnotnull FROM pg_attribute a "
                                "WHERE a.attrelid = $1::regclass AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
              p);
      pgDrain(c, QStringLiteral("SELECT i.relname, x.indisunique, x.indisprimary FROM pg_index x JOIN pg_class i ON "
                                "i.oid = x.indexrelid WHERE x.indrelid = $1::regclass"),
              p);
      pgDrain(c, QStringLiteral("SELECT i.relname FROM pg_index x JOIN pg_class i ON i.oid = x.indexrelid WHERE "
                                "x.indrelid = $1::regclass AND x.indisprimary"),
              p);
      pgDrain(c, QStringLiteral("SELECT conname, confrelid::regclass, confdeltype, confupdtype FROM pg_constraint "
                                "WHERE conrelid = $1::regclass AND contype = 'f'"),
              p);
    }
    return secondsSince(t0);
  };
  const QString ini = QStringLiteral("[bench_pg]\nDriverID=PG\nServer=%1\nPort=%2\nUser_Name=%3\nPassword=%4\nDatabase=%5\n")
                          .arg(host, port, user, pwd, dbName);
  const QString parents = QStringLiteral("PostgreSQL > bench_pg > %1 > ").arg(dbName);
  auto walkSchema = [&] {
    Walk w(ini);
    return w.time([&] {
      const QString err = w.ctx.ReConnect(QStringLiteral("PG"), QStringLiteral("bench_pg"), dbName);
      return err.isEmpty() ? FillTree_Schema(w.ctx, parents, schema, true, true, false) : err;
    });
  };
  const auto [direct_, r] = bestOf(direct, walkSchema);
  report("PostgreSQL (one schema)", tables, r, direct_);
  Walk walk(ini);

  // The catalog refresh of the whole database against its catalog query alone through libpq.
  const QString dbParents = QStringLiteral("PostgreSQL > bench_pg > ");
  const QString query = FillPlaceholders(
      BuiltInCatalogQuery(QStringLiteral("PG")),
      {QString(dbParents + dbName + QStringLiteral(" > ")).replace(u'\'', QStringLiteral("''")),
       QStringLiteral(" WHERE sch_name NOT IN ('information_schema', 'pg_catalog') ")});
  const auto q0 = Clock::now();
  PGresult *all = PQexec(c, query.toUtf8().constData());
  if (PQresultStatus(all) != PGRES_TUPLES_OK) die(QString::fromUtf8(PQerrorMessage(c)));
  qint64 queryRows = PQntuples(all);
  for (int row = 0; row < PQntuples(all); ++row)
    for (int col = 0; col < PQnfields(all); ++col) (void)PQgetvalue(all, row, col);
  PQclear(all);
  const double queryAlone = secondsSince(q0);
  const WalkResult cat = walk.time([&] { return FillTree_DB_Native(walk.ctx, dbParents, dbName, true, true, false); });
  std::printf("PostgreSQL catalog refresh: %d tables, %lld query rows, net %lld tree rows added in %.3f s; "
              "catalog query alone through libpq %.3f s; ratio %.2f (target <= 2.0); "
              "generic walk of the schema %.3f s (catalog/generic %.2f)\n",
              tables, static_cast<long long>(queryRows), static_cast<long long>(cat.rows), cat.seconds, queryAlone,
              cat.seconds / queryAlone, r.seconds, cat.seconds / r.seconds);
  dropPgSchema(c, schema);
  PQfinish(c);
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const int tables = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
  const QString which = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("all");
  if (tables <= 0) die(QStringLiteral("usage: bench_refresh [tables=2000] [sqlite|pg|all]"));
  if (which == QLatin1String("sqlite") || which == QLatin1String("all")) benchSqlite(tables);
  if (which == QLatin1String("pg") || which == QLatin1String("all")) benchPg(tables);
  return 0;
}
