#include "tree/catalogrefresh.h"

#include <QFile>
#include <QFileInfo>

#include "core/apppaths.h"
#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "dal/drivertable.h"
#include "tree/metarefresh.h"
#include "tree/treestore.h"
#include "util/textfile.h"


namespace qrv {

namespace {

const char *const kCatalogDrivers[] = {"MSSQL", "PG", "MySQL", "Ora"};


bool is(const QString &a, const char *b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

// Level n of a path ("A > B > C", 1 gives "B"); empty when there is none.
QString levelOf(const QString &path, int n) {
  const QStringList parts = path.split(QString(kTreeSeparator));
  return n < parts.size() ? parts[n] : QString();
}

}  // namespace

GenericDbRefreshFn GenericDbRefresh = &FillTree_DB;

bool IsCatalogDriver(const QString &driverId) {
  for (const char *d : kCatalogDrivers)
    if (is(driverId, d)) return true;
  return false;
}

QString BuiltInCatalogQuery(const QString &driverId) {
  if (!IsCatalogDriver(driverId)) return QString();
  QFile f(QStringLiteral(":/catalog/db%1.sql").arg(driverId.toLower()));
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

QString CatalogQueryText(const QString &driverId, const QString &settingsDir, bool *fromFile) {
  const QString path = settingsDir + QStringLiteral("db") + driverId.toLower() + QStringLiteral(".sql");
  if (fromFile) *fromFile = false;
  if (QFileInfo::exists(path)) {
    if (fromFile) *fromFile = true;
    return ReadTextFile(path);
  }
  return BuiltInCatalogQuery(driverId);
}

QString FillPlaceholders(const QString &text, const QStringList &values) {
  QString out;
  out.reserve(text.size() + 256);
  qsizetype pos = 0;
  for (const QString &v : values) {
    const qsizetype at = text.indexOf(QStringLiteral("%s"), pos);
    if (at < 0) break;
    out += QStringView(text).mid(pos, at - pos);
    out += v;
    pos = at + 2;
  }
  out += QStringView(text).mid(pos);
  return out;
}

QStringList BuildStagingInserts(const QList<StagedRow> &rows) {
  static const QString head =
      QStringLiteral("INSERT INTO tree_tmp (Name, FullName, Visible, Type, Expanded, Info) VALUES ");
  QStringList out;
  QString buf;
  int n = 0;
  auto flush = [&] {
    if (buf.isEmpty()) return;
    buf.chop(3);  // the comma and the line break
    out.append(head + buf);
    buf.clear();
  };
  for (const StagedRow &r : rows) {
    buf += QStringLiteral("(%1, %2, 0, %3, 0, %4),\r\n")
               .arg(dal::SqlQuoted(r.name), dal::SqlQuoted(r.fullName), QString::number(r.type), dal::SqlQuoted(r.info));
    if (++n % 500 == 0) flush();
  }
  flush();
  return out;
}

QString TreeTmpDerivationSql() {
  // The last level of a path: with the separator as one control character, rtrim strips every
  // character but that one from the right, which leaves the path up to its last separator.
  return QStringLiteral(
      "-- cut off last item name and separator\n"
      "UPDATE tree_tmp SET repl_id = SUBSTR(FullName, 1, LENGTH(FullName) - LENGTH(Name) - LENGTH(' > '));\n"
      "INSERT INTO tree_tmp (Name, FullName, Visible, Type, Expanded, Info)\n"
      "  SELECT REPLACE(p, RTRIM(p, REPLACE(p, CHAR(1), '')), ''), repl_id, 0, -1, 0, ' (' || cnt || ')'\n"
      "  FROM (SELECT repl_id, REPLACE(repl_id, ' > ', CHAR(1)) AS p,\n"
      "               (SELECT COUNT(*) FROM tree_tmp c WHERE c.repl_id = t.repl_id) AS cnt\n"
      "        FROM tree_tmp t\n"
      "        WHERE t.Type > 3 AND t.Type NOT IN (28, 29) AND COALESCE(t.repl_id, '') <> ''\n"
      "        GROUP BY t.repl_id);\n"
      "UPDATE tree_tmp SET Level = (LENGTH(FullName) - LENGTH(REPLACE(FullName, ' > ', ''))) / LENGTH(' > '); \n"
      "DELETE FROM tree_tmp WHERE COALESCE(tree_tmp.FullName, '') = ''; \n");
}

QString FillTree_DB_Native(TreeRefreshContext &ctx, const QString &parents, const QString &database, bool deleteOld,
                           bool visible, bool expanded) {
  // 1. The connection.
  const QString driverId = RDBMSNameToDriverID(levelOf(parents, 0));
  const QString connName = levelOf(parents, 1);
  QString err = ctx.ReConnect(driverId, connName, database);
  if (!err.isEmpty()) return err;

  // 2. The query text.
  if (!IsCatalogDriver(driverId)) return QString();
  QString sql = CatalogQueryText(driverId, ctx.settingsDir);
  const QString prefix = parents + database + QString(kTreeSeparator);

  // 3. Placeholders.
  if (is(driverId, "MSSQL")) {
    sql = FillPlaceholders(sql, {dal::SqlQuoteDoubled(prefix), ctx.showSystemObjects
                                                           ? QString()
                                                           : QStringLiteral(" AND SCH.name NOT IN ('INFORMATION_SCHEMA', 'sys') ")});
  } else if (is(driverId, "PG")) {
    sql = FillPlaceholders(sql, {dal::SqlQuoteDoubled(prefix), ctx.showSystemObjects
                                                           ? QString()
                                                           : QStringLiteral(" WHERE sch_name NOT IN ('information_schema', 'pg_catalog') ")});
  } else if (is(driverId, "MySQL")) {
    static const char *const systemDbs[] = {"information_schema", "mysql", "performance_schema", "sys"};
    bool systemDb = false;
    for (const char *s : systemDbs) systemDb = systemDb || is(database, s);
    if (systemDb && !ctx.showSystemObjects) return QString();
    if (is(database, "information_schema")) {
      err = ctx.ReConnect(driverId, connName, QStringLiteral("sys"));
      if (!err.isEmpty()) return err;
    }
    sql = FillPlaceholders(sql, {dal::SqlQuoteDoubled(prefix)});
  } else {  // Ora
    QString dbName = ctx.manager ? ctx.manager->connectParams(connName, database).value(QStringLiteral("Database"))
                                 : QString();
    if (dbName.isEmpty()) dbName = QStringLiteral("NO_DB_NAME");
    sql.replace(QStringLiteral("@dbname"), dal::SqlQuoteDoubled(parents + dbName + QString(kTreeSeparator)), Qt::CaseInsensitive);
  }

  // 4. An empty text switches to the generic walk.
  if (sql.trimmed().isEmpty()) return GenericDbRefresh(ctx, parents, database, deleteOld, visible, expanded);

  auto fail = [&](const QString &message) {
    const QString text = NormalizeErrorText(message);
    AddToErrorLogDebug(text + QStringLiteral("\r\n") + sql);
    return text;
  };

  // 5. The catalog query: its result is the first one with the four item columns.
  if (!ctx.catalog) return fail(QStringLiteral("The catalog connection is not open"));
  dal::DbError dbErr;
  std::unique_ptr<dal::Cursor> cur = ctx.catalog->execute(sql, &dbErr);
  if (!cur) return fail(dbErr.message);
  int cName = -1, cType = -1, cInfo = -1, cFull = -1;
  for (;;) {
    if (cur->hasRows()) {
      const dal::RowSet probe(cur->fields());
      cName = probe.fieldIndex(QStringLiteral("Name"));
      cType = probe.fieldIndex(QStringLiteral("Type"));
      cInfo = probe.fieldIndex(QStringLiteral("Info"));
      cFull = probe.fieldIndex(QStringLiteral("FullName"));
      if (cName >= 0 && cType >= 0 && cInfo >= 0 && cFull >= 0) break;
    }
    if (!cur->nextResult(&dbErr)) {
      if (dbErr) return fail(dbErr.message);
      return QString();  // no item rows: nothing changes
    }
  }
  QList<StagedRow> rows;
  dal::RowSet chunk(cur->fields());
  for (;;) {
    chunk.clear();
    const qint64 n = cur->fetch(chunk, 2000, &dbErr);
    if (n < 0) return fail(dbErr.message);
    for (qsizetype r = 0; r < chunk.rowCount(); ++r) {
      StagedRow row;
      row.name = chunk.text(r, cName);
      row.fullName = chunk.text(r, cFull);
      row.type = int(chunk.intValue(r, cType));
      row.info = chunk.text(r, cInfo);
      rows.append(std::move(row));
    }
    if (n == 0) break;
  }
  cur.reset();
  if (rows.isEmpty()) return QString();
  if (ctx.aborted()) return QString();

  // 6-11. Stage, derive, swap; tree_tmp is dropped in every case once it was created.
  struct DropTmp {
    TreeRefreshContext &ctx;
    ~DropTmp() { ctx.ExecIntQuery(QStringLiteral("DROP TABLE IF EXISTS tree_tmp;")); }
  };
  err = ctx.ExecIntQuery(
      QStringLiteral("DROP TABLE IF EXISTS tree_tmp; "
                     "CREATE TABLE tree_tmp(Name TEXT, FullName TEXT, Visible INT, Type INT, Level INT, Expanded INT, "
                     "Info TEXT, repl_id TEXT); CREATE INDEX idx_repl_id ON tree_tmp(repl_id); "));
  if (!err.isEmpty()) return fail(err);
  DropTmp dropTmp{ctx};

  err = ctx.ExecIntQuery(QStringLiteral("BEGIN;"));
  if (err.isEmpty()) {
    for (const QString &ins : BuildStagingInserts(rows)) {
      err = ctx.ExecIntQuery(ins);
      if (!err.isEmpty()) break;
    }
    if (err.isEmpty()) err = ctx.ExecIntQuery(TreeTmpDerivationSql());
    const QString end = ctx.ExecIntQuery(err.isEmpty() ? QStringLiteral("COMMIT;") : QStringLiteral("ROLLBACK;"));
    if (err.isEmpty()) err = end;
  }
  if (!err.isEmpty()) return fail(err);

  // The old subtree goes and the new one comes in one transaction, so a failure keeps the old tree.
  err = ctx.ExecIntQuery(QStringLiteral("BEGIN IMMEDIATE;"));
  if (err.isEmpty() && deleteOld) err = ctx.store->DeleteFromTreeById(parents + database);
  if (err.isEmpty()) {
    ctx.store->AppendRecordToTree(database, parents + database, visible, TreeKind::Database, TreeLevel::Database, expanded,
                                  QString());
    err = ctx.ExecIntQuery(
        QStringLiteral("INSERT INTO Tree SELECT Name, FullName, Visible, Type, Level, Expanded, Info FROM tree_tmp"));
  }
  if (err.isEmpty()) {
    err = ctx.ExecIntQuery(QStringLiteral("COMMIT;"));
  } else {
    ctx.ExecIntQuery(QStringLiteral("ROLLBACK;"));
  }
  return err.isEmpty() ? QString() : fail(err);
}

}  // namespace qrv
