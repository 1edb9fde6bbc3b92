// Fetch speed and memory of our drivers against the raw client libraries.
//
//   bench_fetch [rows] [rounds]      (defaults: 1000000 rows, 5 rounds)
//
// Loads a generated result of `rows` rows x (integer, bigint, varchar(20), numeric(12,2), timestamp,
// nullable text) from SQLite, PostgreSQL and MariaDB. Each load runs in a child process of its own,
// alternating between the raw client library (every value read as text from the library's own full
// result: sqlite3_get_table, PQexec, mysql_store_result) and our layer (execute + fetch into a RowSet).
// Prints per driver the median time ratio ours/raw and the median peak-memory ratio ours/raw:
//   PG rows=1000000 time_ratio=1.18 mem_ratio=0.74
// The PostgreSQL and MariaDB servers are those of the tests (servers.env).
#include <libpq-fe.h>
#include <mysql.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dal/dalutil.h"
#include "dal/driver_mysql.h"
#include "dal/driver_pg.h"
#include "dal/driver_sqlite.h"

using namespace qrv::dal;

namespace {

// Settings of the test servers: the environment first, then servers.env.
QString Env(const char *key) {
  const QByteArray v = qgetenv(key);
  if (!v.isEmpty()) return QString::fromUtf8(v);
  QFile f(QStringLiteral("/tmp/qrv-test-servers/servers.env"));
  if (f.open(QIODevice::ReadOnly)) {
    const QString k = QString::fromLatin1(key) + u'=';
    for (const QByteArray &line : f.readAll().split('\n'))
      if (QString::fromUtf8(line).startsWith(k)) return QString::fromUtf8(line).mid(k.size()).trimmed();
  }
  return QString();
}

ConnParams ServerParams(const char *prefix) {
  ConnParams p;
  auto e = [&](const char *k) { return Env((QByteArray(prefix) + '_' + k).constData()); };
  p.set(QStringLiteral("Server"), e("HOST"));
  p.set(QStringLiteral("Port"), e("PORT"));
  p.set(QStringLiteral("Database"), e("DB"));
  p.set(QStringLiteral("User_Name"), e("USER"));
  p.set(QStringLiteral("Password"), e("PASSWORD"));
  return p;
}

QString SqliteFile() { return QDir::temp().filePath(QStringLiteral("qrv_bench_fetch.db")); }

const char *kSelect = "SELECT i, b, v, n, t, x FROM qrv_bench";

// Kilobytes of a /proc/self/status line.
long StatusKb(const char *key) {
  FILE *f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  long v = 0;
  const size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, n) == 0) v = std::atol(line + n);
  std::fclose(f);
  return v;
}

ConnectionPtr OpenOurs(const QString &driver) {
  ConnectionPtr c;
  ConnParams p;
  if (driver == QLatin1String("SQLite")) {
    c = CreateSqliteConnection();
    p.set(QStringLiteral("Database"), SqliteFile());
  } else if (driver == QLatin1String("PG")) {
    c = CreatePgConnection();
    p = ServerParams("QRV_PG");
  } else {
    c = CreateMySqlConnection();
    p = ServerParams("QRV_MY");
  }
  DbError e;
  if (!c->open(p, &e)) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(driver), qPrintable(e.message));
    return nullptr;
  }
  return c;
}

// Creates the table when it does not hold the wanted number of rows.
bool Prepare(const QString &driver, qint64 rows) {
  ConnectionPtr c = OpenOurs(driver);
  if (!c) return false;
  DbError e;
  const QVariant have = QueryValue(*c, QStringLiteral("SELECT count(*) FROM qrv_bench"), &e);
  if (!e.isError() && have.toLongLong() == rows) return true;
  QString fill;
  const QString n = QString::number(rows);
  if (driver == QLatin1String("PG")) {
    fill = QStringLiteral(
               "DROP TABLE IF EXISTS qrv_bench;"
               "CREATE TABLE qrv_bench (i integer, b bigint, v varchar(20), n numeric(12,2), t timestamp, x text);"
               "INSERT INTO qrv_bench SELECT g, g::bigint * 1000003, 'name ' || g, (g % 100000) / 100.0, "
               "timestamp '2020-01-01' + g * interval '1 second', CASE WHEN g % 3 = 0 THEN NULL ELSE 'note ' || g END "
               "FROM generate_series(1, %1) g")
               .arg(n);
  } else if (driver == QLatin1String("MySQL")) {
    fill = QStringLiteral(
               "SET SESSION max_recursive_iterations = %1 + 10;"
               "DROP TABLE IF EXISTS qrv_bench;"
               "CREATE TABLE qrv_bench (i integer, b bigint, v varchar(20), n numeric(12,2), t timestamp NULL, x text);"
               "INSERT INTO qrv_bench WITH RECURSIVE s(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM s WHERE g < %1) "
               "SELECT g, g * 1000003, CONCAT('name ', g), (g % 100000) / 100.0, "
               "TIMESTAMP('2020-01-01') + INTERVAL g SECOND, IF(g % 3 = 0, NULL, CONCAT('note ', g)) FROM s")
               .arg(n);
  } else {
    fill = QStringLiteral(
               "DROP TABLE IF EXISTS qrv_bench;"
               "CREATE TABLE qrv_bench (i integer, b bigint, v varchar(20), n numeric(12,2), t timestamp, x text);"
               "INSERT INTO qrv_bench WITH RECURSIVE s(g) AS (SELECT 1 UNION ALL SELECT g + 1 FROM s WHERE g < %1) "
               "SELECT g, g * 1000003, 'name ' || g, (g % 100000) / 100.0, "
               "datetime('2020-01-01', '+' || g || ' seconds'), CASE WHEN g % 3 = 0 THEN NULL ELSE 'note ' || g END "
               "FROM s")
               .arg(n);
  }
  if (!ExecAll(*c, fill, &e)) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(driver), qPrintable(e.message));
    return false;
  }
  return true;
}

// One load in this process; prints "<ms> <kb>" (time and peak memory above the start).
int Child(const QString &driver, const QString &mode, qint64 expectRows) {
  const bool raw = mode == QLatin1String("raw");
  qint64 got = 0;
  size_t touched = 0;
  std::chrono::steady_clock::time_point t0;
  long base = 0;
  if (driver == QLatin1String("SQLite")) {
    if (raw) {
      sqlite3 *db = nullptr;
      sqlite3_open_v2(SqliteFile().toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
      base = StatusKb("VmRSS:");
      t0 = std::chrono::steady_clock::now();
      char **table = nullptr;
      int nrow = 0, ncol = 0;
      if (sqlite3_get_table(db, kSelect, &table, &nrow, &ncol, nullptr) != SQLITE_OK) return 2;
      for (int i = ncol; i < (nrow + 1) * ncol; ++i)
        if (table[i]) touched += std::strlen(table[i]);
      got = nrow;
      const auto t1 = std::chrono::steady_clock::now();
      std::printf("%lld %ld\n", qint64(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count()),
                  StatusKb("VmHWM:") - base);
      sqlite3_free_table(table);
      sqlite3_close(db);
      return got == expectRows ? 0 : 3;
    }
  } else if (driver == QLatin1String("PG") && raw) {
    const ConnParams p = ServerParams("QRV_PG");
    const QByteArray ci = QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=%5")
                              .arg(p.value(QStringLiteral("Server")), p.value(QStringLiteral("Port")),
                                   p.value(QStringLiteral("Database")), p.value(QStringLiteral("User_Name")),
                                   p.value(QStringLiteral("Password")))
                              .toUtf8();
    PGconn *c = PQconnectdb(ci.constData());
    if (PQstatus(c) != CONNECTION_OK) return 2;
    base = StatusKb("VmRSS:");
    t0 = std::chrono::steady_clock::now();
    PGresult *r = PQexec(c, kSelect);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) return 2;
    got = PQntuples(r);
    const int nf = PQnfields(r);
    for (int row = 0; row < got; ++row)
      for (int f = 0; f < nf; ++f)
        if (!PQgetisnull(r, row, f)) touched += size_t(PQgetlength(r, row, f)) + (PQgetvalue(r, row, f)[0] != 0);
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("%lld %ld\n", qint64(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count()),
                StatusKb("VmHWM:") - base);
    PQclear(r);
    PQfinish(c);
    return got == expectRows ? 0 : 3;
  } else if (driver == QLatin1String("MySQL") && raw) {
    const ConnParams p = ServerParams("QRV_MY");
    MYSQL *m = mysql_init(nullptr);
    mysql_optionsv(m, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (!mysql_real_connect(m, p.value(QStringLiteral("Server")).toUtf8().constData(),
                            p.value(QStringLiteral("User_Name")).toUtf8().constData(),
                            p.value(QStringLiteral("Password")).toUtf8().constData(),
                            p.value(QStringLiteral("Database")).toUtf8().constData(),
                            p.value(QStringLiteral("Port")).toUInt(), nullptr, 0))
      return 2;
    base = StatusKb("VmRSS:");
    t0 = std::chrono::steady_clock::now();
    if (mysql_query(m, kSelect) != 0) return 2;
    MYSQL_RES *res = mysql_store_result(m);
    if (!res) return 2;
    const unsigned nf = mysql_num_fields(res);
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
      const unsigned long *len = mysql_fetch_lengths(res);
      for (unsigned f = 0; f < nf; ++f)
        if (row[f]) touched += len[f] + (row[f][0] != 0);
      ++got;
    }
    const auto t1 = std::chrono::steady_clock::now();
    std::printf("%lld %ld\n", qint64(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count()),
                StatusKb("VmHWM:") - base);
    mysql_free_result(res);
    mysql_close(m);
    return got == expectRows ? 0 : 3;
  }
  // Ours.
  ConnectionPtr c = OpenOurs(driver);
  if (!c) return 2;
  base = StatusKb("VmRSS:");
  t0 = std::chrono::steady_clock::now();
  DbError e;
  RowSetPtr rs = QueryRows(*c, QString::fromLatin1(kSelect), &e);
  if (!rs) {
    std::fprintf(stderr, "%s\n", qPrintable(e.message));
    return 2;
  }
  got = rs->rowCount();
  const auto t1 = std::chrono::steady_clock::now();
  std::printf("%lld %ld\n", qint64(std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count()),
              StatusKb("VmHWM:") - base);
  (void)touched;
  return got == expectRows ? 0 : 3;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() >= 5 && args[1] == QLatin1String("--child"))
    return Child(args[2], args[3], args[4].toLongLong());

  const qint64 rows = args.size() > 1 ? args[1].toLongLong() : 1000000;
  const int rounds = args.size() > 2 ? args[2].toInt() : 5;
  int status = 0;
  for (const QString driver : {QStringLiteral("SQLite"), QStringLiteral("PG"), QStringLiteral("MySQL")}) {
    const QString shown = driver == QLatin1String("MySQL") ? QStringLiteral("MySQL") : driver;
    if (!Prepare(driver, rows)) {
      std::printf("%s rows=%lld failed to prepare\n", qPrintable(shown), rows);
      status = 1;
      continue;
    }
    std::vector<double> times[2], mems[2];
    bool ok = true;
    for (int r = 0; r < rounds && ok; ++r) {
      // Alternate which side goes first, so that neither always finds warm caches.
      for (int k = 0; k < 2 && ok; ++k) {
        const int side = (r + k) % 2;  // 0 raw, 1 ours
        QProcess p;
        p.start(app.applicationFilePath(), {QStringLiteral("--child"), driver,
                                            side ? QStringLiteral("ours") : QStringLiteral("raw"),
                                            QString::number(rows)});
        p.waitForFinished(-1);
        const QStringList out = QString::fromLatin1(p.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
        if (p.exitCode() != 0 || out.size() < 2) {
          std::fprintf(stderr, "%s %s child failed (%d): %s\n", qPrintable(driver), side ? "ours" : "raw",
                       p.exitCode(), p.readAllStandardError().constData());
          ok = false;
          break;
        }
        times[side].push_back(out[0].toDouble());
        mems[side].push_back(std::max(1.0, out[1].toDouble()));
      }
    }
    if (!ok) {
      std::printf("%s rows=%lld failed\n", qPrintable(shown), rows);
      status = 1;
      continue;
    }
    std::printf("%s rows=%lld time_ratio=%.2f mem_ratio=%.2f\n", qPrintable(shown), rows,
                Median(times[1]) / Median(times[0]), Median(mems[1]) / Median(mems[0]));
    std::fflush(stdout);
  }
  return status;
}
