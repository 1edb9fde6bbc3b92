#include "tree/metarefresh.h"

#include <sqlite3.h>

#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "dal/drivertable.h"
#include "dal/localsql.h"
#include "dal/memtable.h"
#include "tree/catalogrefresh.h"
#include "tree/treestore.h"

namespace qrv {

namespace {

QString connectToMetaData(dal::Connection &conn, dal::MetaKind kind, const QString &object, const QString &schema,
                          dal::RowSetPtr *out) {
  return dal::ConnectToMetaData(conn, kind, object, schema, out);
}

const QString &sep() {
  static const QString s(kTreeSeparator);
  return s;
}

bool sameText(const QString &a, const char *b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

// Level n of a path; empty when the path has fewer levels.
QString levelOf(const QString &path, int n) {
  const QStringList parts = path.split(sep());
  return n < parts.size() ? parts[n] : QString();
}

// Error texts of a walk, one per line, each only once (a permission error of a schema is not repeated
// for every one of its tables).
class Errors {
 public:
  void add(const QString &text) {
    if (!text.isEmpty() && !texts_.contains(text)) texts_ << text;
  }
  QString text() const { return texts_.join(QStringLiteral("\r\n")); }

 private:
  QStringList texts_;
};

// Groups the writes of one level into a transaction of the local database, unless one is already open
// (then the outer level commits). Readers on other connections keep seeing the last committed tree.
class WriteBatch {
 public:
  explicit WriteBatch(TreeRefreshContext &ctx) : db_(ctx.store ? ctx.store->db() : nullptr) { begin(); }
  void begin() {
    if (db_ && sqlite3_get_autocommit(db_)) began_ = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  // Commits what was written so far when this batch opened the transaction, and goes on in a new one:
  // keeps a long schema from holding the write lock for its whole read.
  void restart() {
    if (!began_) return;
    commit();
    begin();
  }
  ~WriteBatch() { commit(); }
  void commit() {
    if (!began_) return;
    began_ = false;
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  WriteBatch(const WriteBatch &) = delete;
  WriteBatch &operator=(const WriteBatch &) = delete;

 private:
  sqlite3 *db_;
  bool began_ = false;
};

QString deleteOldAndAdd(TreeRefreshContext &ctx, bool deleteOld, const QString &name, const QString &fullName,
                        bool visible, int type, int level, bool expanded, const QString &info = QString()) {
  QString err;
  if (deleteOld) err = ctx.store->DeleteFromTreeById(fullName);
  ctx.store->AppendRecordToTree(name, fullName, visible, type, level, expanded, info);
  return err;
}

void addHidden(TreeRefreshContext &ctx, const QString &name, const QString &fullName, int type, int level,
               const QString &info) {
  ctx.store->AppendRecordToTree(name, fullName, false, type, level, false, info);
}

// A cell of a metadata row as a number; false when it holds none.
bool cellInt(const dal::RowSet &rs, qsizetype row, int col, int *out) {
  if (col < 0 || rs.isNull(row, col)) return false;
  switch (rs.storage(col)) {
    case dal::StorageKind::Int64: *out = int(rs.intValue(row, col)); return true;
    case dal::StorageKind::Double: *out = int(rs.doubleValue(row, col)); return true;
    default: {
      bool ok = false;
      *out = rs.text(row, col).trimmed().toInt(&ok);
      return ok;
    }
  }
}

QString cellText(const dal::RowSet &rs, qsizetype row, int col) {
  return col < 0 || rs.isNull(row, col) ? QString() : rs.text(row, col);
}

QString cellNumberText(const dal::RowSet &rs, qsizetype row, int col) {
  int v = 0;
  return cellInt(rs, row, col, &v) ? QString::number(v) : QString();
}

// The metadata request on the catalog connection.
QString openMeta(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema,
                 dal::RowSetPtr *out) {
  out->reset();
  if (!ctx.catalog || !ctx.catalog->isOpen()) return QStringLiteral("The catalog connection is not open");
  QString err = MetaDataOpen(*ctx.catalog, kind, object, schema, out);
  if (err.isEmpty() && !*out) err = QStringLiteral("The metadata request returned no result");
  return NormalizeErrorText(err);
}

// Builds the items of every row of a metadata request with a row reader; rows the reader refuses (a
// missing name, values that do not read) are skipped.
template <typename ReadRow>
MetaList readList(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema, ReadRow read) {
  MetaList list;
  dal::RowSetPtr rs;
  list.error = openMeta(ctx, kind, object, schema, &rs);
  if (!list.ok()) return list;
  for (qsizetype r = 0; r < rs->rowCount(); ++r) {
    MetaItem item;
    if (read(*rs, r, &item)) list.items.append(std::move(item));
  }
  return list;
}

// The table item text without the kind suffix that the table list gives kinds other than table and
// view ("s (Synonym)" is asked for as "s").
QString tableObjectName(const QString &item) {
  for (int k = 0; k <= 4; ++k) {
    const QString suffix = QStringLiteral(" (") + dal::TableKindName(k) + u')';
    if (item.endsWith(suffix) && item.size() > suffix.size()) return item.left(item.size() - suffix.size());
  }
  return item;
}

// Whether the connection is to be read into the tree: LoadToTree, a boolean, true when missing.
bool loadToTree(const dal::ConnectionManager &m, const QString &connection) {
  const QString v = m.definitionParams(connection).value(QStringLiteral("LoadToTree")).trimmed();
  if (v.isEmpty()) return true;
  for (const char *no : {"0", "false", "no", "off", "f", "n"})
    if (sameText(v, no)) return false;
  return true;
}

QString categoryPath(const QString &parents, const QString &item, const QLatin1String &category) {
  return parents + item + sep() + category;
}

QStringList splitAtCommas(const QString &text) {
  QStringList out;
  for (const QString &s : text.split(u','))
    if (!s.isEmpty()) out << s;
  return out;
}

QString genericDbRefresh(TreeRefreshContext &ctx, const QString &parents, const QString &database, bool deleteOld,
                         bool visible, bool expanded) {
  return FillTree_DB(ctx, parents, database, deleteOld, visible, expanded);
}

// The catalog refresh falls back on this walk when its query text is empty.
[[maybe_unused]] const bool kGenericInstalled = (GenericDbRefresh = &genericDbRefresh, true);

}  // namespace

MetaDataOpenFn MetaDataOpen = connectToMetaData;

// ---- Texts ----

QString MetaSizeText(const QString &precision, const QString &scale, const QString &length) {
  const QStringView parts[3] = {QStringView(precision).trimmed(), QStringView(scale).trimmed(),
                                QStringView(length).trimmed()};
  auto blank = [](QStringView s) { return s.isEmpty() || s == u"0"; };
  int first = 0, last = 2;
  while (first <= last && blank(parts[first])) ++first;
  while (last >= first && blank(parts[last])) --last;
  if (first > last) return QString();
  QString text;
  text.reserve(32);
  text += u'(';
  for (int i = first; i <= last; ++i) {
    if (i > first) text += u',';
    text += parts[i];
  }
  text += u')';
  if (text.contains(QLatin1String("2147483647"))) text.replace(QStringLiteral("2147483647"), QStringLiteral("MAX"));
  return text;
}

MetaItem SplitMetaItem(const QString &text) {
  const qsizetype at = text.indexOf(QStringLiteral(" ("));
  if (at < 0) return MetaItem{text, QString()};
  return MetaItem{text.left(at), text.mid(at)};
}

QString MetaSchemaName(const QString &pathOrName) {
  const QString name = pathOrName.contains(sep()) ? levelOf(pathOrName, TreeLevel::Schema) : pathOrName;
  return sameText(name, "NO_SCHEMA") ? QString() : name;
}

// ---- Readers ----

QString GetMetaData(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &localSql, const QString &schema,
                    const QString &object, bool *ok) {
  if (ok) *ok = false;
  dal::RowSetPtr rs;
  const QString err = openMeta(ctx, kind, object, schema, &rs);
  if (!err.isEmpty()) return err;
  dal::MemTable table(rs);
  dal::LocalSql local;
  QString sqlErr;
  if (!local.open(&sqlErr) || !local.registerTable(QStringLiteral("fdMIQ"), table, &sqlErr)) return sqlErr;
  const QVariant v = local.scalar(localSql, &sqlErr);
  local.close();
  if (!sqlErr.isEmpty()) return sqlErr;
  if (ok) *ok = true;
  return v.isNull() ? QString() : v.toString();
}

MetaList GetMetaDataBigResult(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &field,
                              const QString &schema) {
  int col = -2;
  return readList(ctx, kind, object, schema, [&](const dal::RowSet &rs, qsizetype r, MetaItem *item) {
    if (col == -2) col = rs.fieldIndex(field);
    item->name = cellText(rs, r, col);
    return !item->name.isEmpty();
  });
}

MetaList GetMetaDataFields(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema) {
  int cName = -2, cType, cPrec, cScale, cLen, cAttr;
  return readList(ctx, kind, object, schema, [&](const dal::RowSet &rs, qsizetype r, MetaItem *item) {
    if (cName == -2) {
      cName = rs.fieldIndex(QStringLiteral("column_name"));
      cType = rs.fieldIndex(QStringLiteral("column_typename"));
      cPrec = rs.fieldIndex(QStringLiteral("column_precision"));
      cScale = rs.fieldIndex(QStringLiteral("column_scale"));
      cLen = rs.fieldIndex(QStringLiteral("column_length"));
      cAttr = rs.fieldIndex(QStringLiteral("COLUMN_ATTRIBUTES"));
    }
    item->name = cellText(rs, r, cName);
    if (item->name.isEmpty()) return false;
    int attrs = 0;
    cellInt(rs, r, cAttr, &attrs);
    item->info = QStringLiteral(" (%1%2, %3)")
                     .arg(cellText(rs, r, cType),
                          MetaSizeText(cellNumberText(rs, r, cPrec), cellNumberText(rs, r, cScale),
                                       cellNumberText(rs, r, cLen)),
                          (attrs & dal::ColumnAttrNullable) ? QStringLiteral("null") : QStringLiteral("not null"));
    return true;
  });
}

MetaList GetMetaDataIndexes(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema) {
  int cName = -2, cType;
  return readList(ctx, kind, object, schema, [&](const dal::RowSet &rs, qsizetype r, MetaItem *item) {
    if (cName == -2) {
      cName = rs.fieldIndex(QStringLiteral("INDEX_NAME"));
      cType = rs.fieldIndex(QStringLiteral("INDEX_TYPE"));
    }
    item->name = cellText(rs, r, cName);
    int type = 0;
    if (item->name.isEmpty() || !cellInt(rs, r, cType, &type)) return false;
    item->info = QStringLiteral(" (%1)").arg(dal::IndexKindName(type));
    return true;
  });
}

MetaList GetMetaDataForeignKeys(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema) {
  int cName = -2, cTable, cDel, cUpd;
  return readList(ctx, kind, object, schema, [&](const dal::RowSet &rs, qsizetype r, MetaItem *item) {
    if (cName == -2) {
      cName = rs.fieldIndex(QStringLiteral("FKEY_NAME"));
      cTable = rs.fieldIndex(QStringLiteral("PKEY_TABLE_NAME"));
      cDel = rs.fieldIndex(QStringLiteral("DELETE_RULE"));
      cUpd = rs.fieldIndex(QStringLiteral("UPDATE_RULE"));
    }
    item->name = cellText(rs, r, cName);
    int del = 0, upd = 0;
    if (item->name.isEmpty() || !cellInt(rs, r, cDel, &del) || !cellInt(rs, r, cUpd, &upd)) return false;
    item->info = QStringLiteral(" (%1, DEL: %2, UPD: %3)")
                     .arg(cellText(rs, r, cTable), dal::CascadeRuleName(del), dal::CascadeRuleName(upd));
    return true;
  });
}

MetaList GetMetaDataProcParams(TreeRefreshContext &ctx, dal::MetaKind kind, const QString &object, const QString &schema) {
  int cName = -2, cType, cPrec, cScale, cLen, cDir, cAttr;
  return readList(ctx, kind, object, schema, [&](const dal::RowSet &rs, qsizetype r, MetaItem *item) {
    if (cName == -2) {
      cName = rs.fieldIndex(QStringLiteral("PARAM_NAME"));
      cType = rs.fieldIndex(QStringLiteral("PARAM_TYPENAME"));
      cPrec = rs.fieldIndex(QStringLiteral("PARAM_PRECISION"));
      cScale = rs.fieldIndex(QStringLiteral("PARAM_SCALE"));
      cLen = rs.fieldIndex(QStringLiteral("PARAM_LENGTH"));
      cDir = rs.fieldIndex(QStringLiteral("PARAM_TYPE"));
      cAttr = rs.fieldIndex(QStringLiteral("PARAM_ATTRIBUTES"));
    }
    item->name = cellText(rs, r, cName);
    int dir = 0, attrs = 0;
    cellInt(rs, r, cDir, &dir);
    cellInt(rs, r, cAttr, &attrs);
    if (item->name.isEmpty()) return false;
    item->info = QStringLiteral(" (%1%2, %3, %4)")
                     .arg(cellText(rs, r, cType),
                          MetaSizeText(cellNumberText(rs, r, cPrec), cellNumberText(rs, r, cScale),
                                       cellNumberText(rs, r, cLen)),
                          dal::ParamDirectionName(dir), (attrs & dal::ColumnAttrNullable) ? QStringLiteral("null") : QStringLiteral("not null"));
    return true;
  });
}

// ---- The walk ----

QString FillTree_BaseDriver(TreeRefreshContext &ctx, const QString &rdbmsName, bool deleteOld) {
  if (!ctx.manager || !ctx.store) return QStringLiteral("The tree refresh has no connection definitions");
  Errors errors;
  if (deleteOld && !rdbmsName.isEmpty()) errors.add(ctx.store->DeleteFromTreeById(rdbmsName));
  for (const QString &conn : ctx.manager->definitionNames()) {
    if (ctx.aborted()) break;
    const QString display = DriverIDToRDBMSName(ctx.manager->baseDriverId(conn));
    if (display.isEmpty()) continue;  // an unknown driver has no place in the tree
    if (!rdbmsName.isEmpty() && display.compare(rdbmsName, Qt::CaseInsensitive) != 0) continue;
    QString findErr;
    if (!ctx.store->FindTreeId(display, &findErr)) {
      errors.add(findErr);
      ctx.store->AppendRecordToTree(display, display, true, TreeKind::Rdbms, TreeLevel::Rdbms, true, QString());
    }
    errors.add(FillTree_Conn(ctx, display + sep(), conn, false, true, true));
  }
  return errors.text();
}

QString FillTree_Conn(TreeRefreshContext &ctx, const QString &parents, const QString &connection, bool deleteOld,
                      bool visible, bool expanded) {
  if (!ctx.manager || !ctx.store) return QStringLiteral("The tree refresh has no connection definitions");
  if (!loadToTree(*ctx.manager, connection)) return QString();
  Errors errors;
  {
    WriteBatch batch(ctx);
    errors.add(deleteOldAndAdd(ctx, deleteOld, connection, parents + connection, visible, TreeKind::Connection,
                               TreeLevel::Connection, expanded));
  }
  const QString driverId = RDBMSNameToDriverID(levelOf(parents, TreeLevel::Rdbms));
  const QString err = ctx.ReConnect(driverId, connection, QString());
  if (!err.isEmpty()) {
    errors.add(err);
    return errors.text();
  }
  const QString dbParents = parents + connection + sep();

  auto serverList = [&](const char *sql, QStringList *out) {
    dal::DbError dbErr;
    dal::RowSetPtr rs = dal::QueryRows(*ctx.catalog, QLatin1String(sql), &dbErr);
    if (!rs) {
      errors.add(NormalizeErrorText(dbErr.message));
      return false;
    }
    for (qsizetype r = 0; r < rs->rowCount(); ++r)
      if (!rs->isNull(r, 0)) *out << rs->text(r, 0);
    return true;
  };

  QStringList databases;
  if (sameText(driverId, "MSSQL") || sameText(driverId, "PG") || sameText(driverId, "MySQL")) {
    const char *sql = sameText(driverId, "MSSQL") ? "SELECT name FROM sys.databases WHERE database_id > 4;"
                      : sameText(driverId, "PG")
                          ? "SELECT datname FROM pg_database WHERE NOT datistemplate AND datallowconn AND "
                            "datname <> 'postgres';"
                          : "SHOW DATABASES;";
    if (!serverList(sql, &databases)) return errors.text();
    for (const QString &db : databases) {
      if (ctx.aborted()) break;
      errors.add(FillTree_DB_Native(ctx, dbParents, db, false, true, false));
    }
    return errors.text();
  }
  if (sameText(driverId, "Ora")) {
    errors.add(FillTree_DB_Native(ctx, dbParents, QString(), false, true, false));
    return errors.text();
  }

  bool ok = false;
  const QString catalogs =
      GetMetaData(ctx, dal::MetaKind::Catalogs, QStringLiteral("SELECT GROUP_CONCAT(catalog_name) FROM fdMIQ"), QString(),
                  QString(), &ok);
  if (!ok) {
    errors.add(catalogs);
    return errors.text();
  }
  QString list = catalogs;
  if (list.isEmpty()) list = ctx.manager->definitionParams(connection).value(QStringLiteral("Database"));
  databases = list.trimmed().isEmpty() ? QStringList{QString(kNoDbName)} : splitAtCommas(list);
  for (const QString &db : databases) {
    if (ctx.aborted()) break;
    errors.add(FillTree_DB(ctx, dbParents, db, false, true, false));
  }
  return errors.text();
}

QString FillTree_DB(TreeRefreshContext &ctx, const QString &parents, const QString &database, bool deleteOld,
                    bool visible, bool expanded) {
  if (!ctx.store) return QStringLiteral("The local database is not open");
  Errors errors;
  {
    WriteBatch batch(ctx);
    errors.add(deleteOldAndAdd(ctx, deleteOld, database, parents + database, visible, TreeKind::Database,
                               TreeLevel::Database, expanded));
  }
  const QString err = ctx.ReConnect(RDBMSNameToDriverID(levelOf(parents, TreeLevel::Rdbms)),
                                    levelOf(parents, TreeLevel::Connection), database);
  if (!err.isEmpty()) {
    errors.add(err);
    return errors.text();
  }
  bool ok = false;
  const QString schemas =
      GetMetaData(ctx, dal::MetaKind::Schemas, QStringLiteral("SELECT GROUP_CONCAT(schema_name) FROM fdMIQ"), QString(),
                  QString(), &ok);
  if (!ok) {
    errors.add(schemas);
    return errors.text();
  }
  QStringList list = splitAtCommas(schemas);
  if (list.isEmpty()) list << QString(kNoSchema);
  for (const QString &schema : list) {
    if (ctx.aborted()) break;
    errors.add(FillTree_Schema(ctx, parents + database + sep(), schema, false, false, false));
  }
  return errors.text();
}

QString FillTree_Schema(TreeRefreshContext &ctx, const QString &parents, const QString &schema, bool deleteOld,
                        bool visible, bool expanded) {
  if (!ctx.store) return QStringLiteral("The local database is not open");
  Errors errors;
  WriteBatch batch(ctx);
  const QString schemaPath = parents + schema;
  errors.add(deleteOldAndAdd(ctx, deleteOld, schema, schemaPath, visible, TreeKind::Schema, TreeLevel::Schema, expanded));
  const QString metaSchema = MetaSchemaName(schema);

  // Tables and views come from one table list: views (kind 2) under "Views", every other kind under
  // "Tables"; kinds other than table and view carry their name in parentheses.
  MetaList tables, views;
  {
    dal::RowSetPtr rs;
    const QString err = openMeta(ctx, dal::MetaKind::Tables, QString(), metaSchema, &rs);
    if (err.isEmpty()) {
      const int cName = rs->fieldIndex(QStringLiteral("TABLE_NAME"));
      const int cType = rs->fieldIndex(QStringLiteral("TABLE_TYPE"));
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const QString name = cellText(*rs, r, cName);
        int type = dal::tkTable;
        if (name.isEmpty() || !cellInt(*rs, r, cType, &type)) continue;
        if (type == dal::tkView) {
          views.items.append(MetaItem{name, QString()});
        } else {
          const QString kindName = type == dal::tkTable ? QString() : QStringLiteral(" (%1)").arg(dal::TableKindName(type));
          tables.items.append(MetaItem{name + kindName, QString()});
        }
      }
    } else {
      errors.add(err);
      tables.error = views.error = err;
    }
  }

  auto objects = [&](const MetaList &list, const QLatin1String &category, int kind) {
    if (!list.ok()) return;
    const QString catPath = schemaPath + sep() + category;
    addHidden(ctx, category, catPath, TreeKind::Category, TreeLevel::SchemaCategory, CategoryInfo(list.items.size()));
    int written = 0;
    for (const MetaItem &item : list.items) {
      if (ctx.aborted()) return;
      if (++written % 100 == 0) batch.restart();
      if (kind == TreeKind::Routine)
        errors.add(FillTree_Proc(ctx, catPath + sep(), item.text(), kind, false, false, false));
      else
        errors.add(FillTree_Table(ctx, catPath + sep(), item.text(), kind, false, false, false));
    }
  };
  objects(tables, TreeCategory::Tables, TreeKind::Table);
  objects(views, TreeCategory::Views, TreeKind::Table);

  const MetaList procs = GetMetaDataBigResult(ctx, dal::MetaKind::Procs, QString(), QStringLiteral("PROC_NAME"), metaSchema);
  errors.add(procs.error);
  objects(procs, TreeCategory::ProceduresFunctions, TreeKind::Routine);

  const MetaList gens =
      GetMetaDataBigResult(ctx, dal::MetaKind::Generators, QString(), QStringLiteral("GENERATOR_NAME"), metaSchema);
  errors.add(gens.error);
  if (gens.ok()) {
    const QString catPath = schemaPath + sep() + TreeCategory::GeneratorsSequences;
    addHidden(ctx, TreeCategory::GeneratorsSequences, catPath, TreeKind::Category, TreeLevel::SchemaCategory,
              CategoryInfo(gens.items.size()));
    for (const MetaItem &g : gens.items)
      addHidden(ctx, g.name, catPath + sep() + g.name, TreeKind::Sequence, TreeLevel::Object, QString());
  }
  return errors.text();
}

QString FillTree_Table(TreeRefreshContext &ctx, const QString &parents, const QString &table, int kind,
                       bool deleteOld, bool visible, bool expanded) {
  if (!ctx.store) return QStringLiteral("The local database is not open");
  Errors errors;
  WriteBatch batch(ctx);
  errors.add(deleteOldAndAdd(ctx, deleteOld, table, parents + table, visible, kind, TreeLevel::Object, expanded));
  const QString object = tableObjectName(table);
  const QString schema = MetaSchemaName(parents);

  auto details = [&](const MetaList &list, const QLatin1String &category) {
    errors.add(list.error);
    if (!list.ok()) return;
    const QString catPath = categoryPath(parents, table, category);
    addHidden(ctx, category, catPath, TreeKind::Category, TreeLevel::ObjectCategory, CategoryInfo(list.items.size()));
    for (const MetaItem &item : list.items)
      addHidden(ctx, item.name, catPath + sep() + item.name, TreeKind::Column, TreeLevel::Detail, item.info);
  };
  details(GetMetaDataFields(ctx, dal::MetaKind::TableFields, object, schema), TreeCategory::Columns);
  details(GetMetaDataIndexes(ctx, dal::MetaKind::Indexes, object, schema), TreeCategory::Indexes);

  // Keys: the primary key and the foreign keys under one category without a count; the whole item
  // text is the row's name.
  const MetaList pk = GetMetaDataIndexes(ctx, dal::MetaKind::PrimaryKey, object, schema);
  const MetaList fks = GetMetaDataForeignKeys(ctx, dal::MetaKind::ForeignKeys, object, schema);
  errors.add(pk.error);
  errors.add(fks.error);
  if (pk.ok() || fks.ok()) {
    const QString catPath = categoryPath(parents, table, TreeCategory::Keys);
    addHidden(ctx, TreeCategory::Keys, catPath, TreeKind::Category, TreeLevel::ObjectCategory, QString());
    for (const MetaList *list : {&pk, &fks})
      for (const MetaItem &item : list->items)
        addHidden(ctx, item.text(), catPath + sep() + item.text(), TreeKind::Column, TreeLevel::Detail, QString());
  }
  return errors.text();
}

QString FillTree_Proc(TreeRefreshContext &ctx, const QString &parents, const QString &procedure, int kind,
                      bool deleteOld, bool visible, bool expanded) {
  if (!ctx.store) return QStringLiteral("The local database is not open");
  Errors errors;
  WriteBatch batch(ctx);
  errors.add(deleteOldAndAdd(ctx, deleteOld, procedure, parents + procedure, visible, kind, TreeLevel::Object, expanded));
  const MetaList params = GetMetaDataProcParams(ctx, dal::MetaKind::ProcArgs, procedure, MetaSchemaName(parents));
  errors.add(params.error);
  if (params.ok()) {
    const QString catPath = categoryPath(parents, procedure, TreeCategory::Parameters);
    addHidden(ctx, TreeCategory::Parameters, catPath, TreeKind::Category, TreeLevel::ObjectCategory,
              CategoryInfo(params.items.size()));
    for (const MetaItem &item : params.items)
      addHidden(ctx, item.name, catPath + sep() + item.name, TreeKind::Column, TreeLevel::Detail, item.info);
  }
  return errors.text();
}

}  // namespace qrv
