#include "dal/metadata.h"

#include <QHash>
#include <QSet>
#include <QVariant>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "dal/dalutil.h"
#include "dal/driver_odbc.h"
#include "dal/drivertable.h"

namespace qrv::dal {

namespace {

constexpr qint64 kMaxLength = 2147483647;

// ------------------------------------------------------------------------------------- result shape

struct ColSpec {
  const char *name;
  bool isInt;
};

QList<ColSpec> SpecOf(MetaKind kind) {
  QList<ColSpec> c = {{"RECNO", true}, {"CATALOG_NAME", false}};
  if (kind == MetaKind::Catalogs) return c;
  c << ColSpec{"SCHEMA_NAME", false};
  switch (kind) {
    case MetaKind::Catalogs:
    case MetaKind::Schemas:
      break;
    case MetaKind::Tables:
      c << ColSpec{"TABLE_NAME", false} << ColSpec{"TABLE_TYPE", true} << ColSpec{"TABLE_SCOPE", true};
      break;
    case MetaKind::TableFields:
      c << ColSpec{"TABLE_NAME", false} << ColSpec{"COLUMN_NAME", false} << ColSpec{"COLUMN_POSITION", true}
        << ColSpec{"COLUMN_DATATYPE", true} << ColSpec{"COLUMN_TYPENAME", false}
        << ColSpec{"COLUMN_ATTRIBUTES", true} << ColSpec{"COLUMN_PRECISION", true}
        << ColSpec{"COLUMN_SCALE", true} << ColSpec{"COLUMN_LENGTH", true};
      break;
    case MetaKind::Indexes:
    case MetaKind::PrimaryKey:
      c << ColSpec{"TABLE_NAME", false} << ColSpec{"INDEX_NAME", false} << ColSpec{"CONSTRAINT_NAME", false}
        << ColSpec{"INDEX_TYPE", true};
      break;
    case MetaKind::ForeignKeys:
      c << ColSpec{"TABLE_NAME", false} << ColSpec{"FKEY_NAME", false} << ColSpec{"PKEY_CATALOG_NAME", false}
        << ColSpec{"PKEY_SCHEMA_NAME", false} << ColSpec{"PKEY_TABLE_NAME", false}
        << ColSpec{"DELETE_RULE", true} << ColSpec{"UPDATE_RULE", true};
      break;
    case MetaKind::Procs:
      c << ColSpec{"PACK_NAME", false} << ColSpec{"PROC_NAME", false} << ColSpec{"OVERLOAD", true}
        << ColSpec{"PROC_TYPE", true} << ColSpec{"PROC_SCOPE", true} << ColSpec{"IN_PARAMS", true}
        << ColSpec{"OUT_PARAMS", true};
      break;
    case MetaKind::ProcArgs:
      c << ColSpec{"PACK_NAME", false} << ColSpec{"PROC_NAME", false} << ColSpec{"OVERLOAD", true}
        << ColSpec{"PARAM_NAME", false} << ColSpec{"PARAM_POSITION", true} << ColSpec{"PARAM_TYPE", true}
        << ColSpec{"PARAM_DATATYPE", true} << ColSpec{"PARAM_TYPENAME", false}
        << ColSpec{"PARAM_ATTRIBUTES", true} << ColSpec{"PARAM_PRECISION", true} << ColSpec{"PARAM_SCALE", true}
        << ColSpec{"PARAM_LENGTH", true};
      break;
    case MetaKind::Generators:
      c << ColSpec{"GENERATOR_NAME", false} << ColSpec{"GENERATOR_SCOPE", true};
      break;
  }
  return c;
}

// The columns of each kind, worked out once: a metadata request makes one result of a few rows, so
// building the field list anew each time would cost more than the rows themselves.
struct Shape {
  QList<ColSpec> spec;
  FieldDefs defs;
};

const Shape &ShapeOf(MetaKind kind) {
  static const QHash<int, Shape> shapes = [] {
    QHash<int, Shape> all;
    for (MetaKind k : {MetaKind::Catalogs, MetaKind::Schemas, MetaKind::Tables, MetaKind::TableFields,
                       MetaKind::Indexes, MetaKind::PrimaryKey, MetaKind::ForeignKeys, MetaKind::Procs,
                       MetaKind::ProcArgs, MetaKind::Generators}) {
      Shape &s = all[int(k)];
      s.spec = SpecOf(k);
      for (const ColSpec &c : s.spec) {
        FieldDef f;
        f.name = QString::fromLatin1(c.name);
        f.type = c.isInt ? FieldType::Integer : FieldType::WideString;
        f.size = c.isInt ? 0 : 255;
        s.defs.append(f);
      }
    }
    return all;
  }();
  return shapes.find(int(kind)).value();
}

FieldType TypeOfName(const QString &name);

// Builds the result row by row; unset texts are empty, unset numbers 0; RECNO counts from 1.
class Builder {
 public:
  explicit Builder(MetaKind kind) : spec_(ShapeOf(kind).spec) {
    rs_ = std::make_shared<RowSet>(ShapeOf(kind).defs);
    texts_.resize(spec_.size());
    ints_.resize(spec_.size());
  }
  Builder &set(const char *col, const QString &v) {
    if (const int i = indexOf(col); i >= 0) {
      if (spec_[i].isInt) ints_[i] = v.trimmed().toLongLong();
      else texts_[i] = v;
    }
    return *this;
  }
  Builder &set(const char *col, qint64 v) {
    if (const int i = indexOf(col); i >= 0) {
      if (spec_[i].isInt) ints_[i] = v;
      else texts_[i] = QString::number(v);
    }
    return *this;
  }
  void add() {
    ints_[0] = rs_->rowCount() + 1;
    for (int i = 0; i < spec_.size(); ++i) {
      if (spec_[i].isInt) {
        rs_->appendInt(i, qMin(ints_[i], kMaxLength));
        ints_[i] = 0;
      } else {
        rs_->appendText(i, texts_[i]);
        texts_[i].clear();
      }
    }
    rs_->endRow();
  }
  RowSetPtr result() const { return rs_; }

  // A row of the per-table kinds, after the catalog, schema and table columns are set. The column's
  // data type follows from its type name.
  void addColumn(const QString &name, qint64 position, const QString &typeName, int attrs, qint64 precision,
                 qint64 scale, qint64 length) {
    set("COLUMN_NAME", name).set("COLUMN_POSITION", position);
    set("COLUMN_DATATYPE", qint64(TypeOfName(typeName))).set("COLUMN_TYPENAME", typeName);
    set("COLUMN_ATTRIBUTES", attrs).set("COLUMN_PRECISION", precision).set("COLUMN_SCALE", scale);
    set("COLUMN_LENGTH", length);
    add();
  }
  void addIndex(const QString &name, const QString &constraint, qint64 indexKind) {
    set("INDEX_NAME", name).set("CONSTRAINT_NAME", constraint).set("INDEX_TYPE", indexKind);
    add();
  }
  void addForeignKey(const QString &name, const QString &pkCatalog, const QString &pkSchema, const QString &pkTable,
                     int deleteRule, int updateRule) {
    set("FKEY_NAME", name).set("PKEY_CATALOG_NAME", pkCatalog).set("PKEY_SCHEMA_NAME", pkSchema);
    set("PKEY_TABLE_NAME", pkTable).set("DELETE_RULE", deleteRule).set("UPDATE_RULE", updateRule);
    add();
  }

 private:
  // The column names are the literals of SpecOf: a plain comparison of a dozen short names.
  int indexOf(const char *col) const {
    for (int i = 0; i < spec_.size(); ++i)
      if (std::strcmp(spec_[i].name, col) == 0) return i;
    Q_ASSERT_X(false, "Builder", col);
    return -1;
  }

  const QList<ColSpec> &spec_;
  RowSetPtr rs_;
  QList<QString> texts_;
  QList<qint64> ints_;
};

// ----------------------------------------------------------------------------------------- helpers

void SetErr(DbError *err, const QString &msg, int code = 0, DbErrorKind kind = DbErrorKind::Other) {
  if (!err) return;
  *err = DbError();
  err->message = msg;
  err->code = code;
  err->kind = kind;
}

RowSetPtr NotFound(DbError *err, const QString &schema, const QString &object) {
  const QString name = schema.isEmpty() ? object : schema + QLatin1Char('.') + object;
  SetErr(err, QStringLiteral("Object [%1] not found").arg(name), ErrObjectNotFound, DbErrorKind::ObjectNotFound);
  if (err) err->nativeCode = ErrObjectNotFound;
  return nullptr;
}

RowSetPtr Query(Connection &c, const QString &sql, DbError *err) {
  auto cur = c.execute(sql, err);
  return cur ? FetchAll(*cur, err) : nullptr;
}

// The same with the values apart from the text ($1, $2, ...): planned once per connection where the
// server keeps prepared statements.
RowSetPtr Query(Connection &c, const QString &sql, const QStringList &params, DbError *err) {
  auto cur = c.executeParams(sql, params, err);
  return cur ? FetchAll(*cur, err) : nullptr;
}

QString T(const RowSet &rs, qsizetype r, int c) { return rs.isNull(r, c) ? QString() : rs.text(r, c); }
qint64 I(const RowSet &rs, qsizetype r, int c) {
  if (rs.isNull(r, c)) return 0;
  if (rs.storage(c) == StorageKind::Int64) return rs.intValue(r, c);
  if (rs.storage(c) == StorageKind::Double) return qint64(rs.doubleValue(r, c));
  const QString t = rs.text(r, c).trimmed();
  if (t == QLatin1String("t") || t == QLatin1String("true")) return 1;
  if (t == QLatin1String("f") || t == QLatin1String("false")) return 0;
  bool ok = false;
  const qint64 v = t.toLongLong(&ok);
  if (ok) return v;
  const double d = t.toDouble(&ok);
  return ok ? (d > double(kMaxLength) ? kMaxLength : qint64(d)) : 0;
}

// The kinds that describe one table, named by the request's object.
bool IsTableLevel(MetaKind kind) {
  return kind == MetaKind::TableFields || kind == MetaKind::Indexes || kind == MetaKind::PrimaryKey ||
         kind == MetaKind::ForeignKeys;
}

bool WantKind(const QList<int> &kinds, int k) { return kinds.isEmpty() || kinds.contains(k); }

int RuleFromText(const QString &t) {
  const QString u = t.trimmed().toUpper();
  if (u == QLatin1String("CASCADE")) return ckCascade;
  if (u == QLatin1String("RESTRICT")) return ckRestrict;
  if (u == QLatin1String("SET NULL")) return ckSetNull;
  if (u == QLatin1String("SET DEFAULT")) return ckSetDefault;
  return ckNone;  // NO ACTION
}

// A field type for a server type name.
FieldType TypeOfNameUncached(const QString &name) {
  const QString n = name.toLower();
  auto has = [&](const char *s) { return n.contains(QLatin1String(s)); };
  if (has("bool")) return FieldType::Boolean;
  if (has("bigint") || n == QLatin1String("int8")) return FieldType::Largeint;
  if (has("smallint") || n == QLatin1String("int2")) return FieldType::Smallint;
  if (has("tinyint")) return FieldType::Shortint;
  if (has("numeric") || has("decimal") || has("money")) return FieldType::FMTBcd;
  if (has("int")) return FieldType::Integer;
  if (n == QLatin1String("real") || n == QLatin1String("float4")) return FieldType::Single;
  if (has("double") || has("float")) return FieldType::Float;
  if (has("timestamp") || has("datetime")) return FieldType::DateTime;
  if (has("date")) return FieldType::Date;
  if (has("time")) return FieldType::Time;
  if (has("uuid") || has("guid") || has("uniqueidentifier")) return FieldType::Guid;
  if (has("text") || has("clob") || has("json") || has("xml")) return FieldType::WideMemo;
  if (has("blob") || has("bytea") || has("image")) return FieldType::Blob;
  if (has("varbinary")) return FieldType::VarBytes;
  if (has("binary")) return FieldType::Bytes;
  if ((n.startsWith(QLatin1String("char")) || n.startsWith(QLatin1String("nchar")) ||
       n == QLatin1String("character") || n == QLatin1String("bpchar")) &&
      !has("varying"))
    return FieldType::FixedWideChar;
  return FieldType::WideString;
}

// A walk asks for the same few type names thousands of times: each thread remembers its answers.
FieldType TypeOfName(const QString &name) {
  thread_local QHash<QString, FieldType> known;
  const auto it = known.constFind(name);
  if (it != known.constEnd()) return it.value();
  const FieldType t = TypeOfNameUncached(name);
  if (known.size() < 4096) known.insert(name, t);
  return t;
}

bool IsCharType(const QString &name) {
  const QString n = name.toLower();
  return n.contains(QLatin1String("char")) || n.contains(QLatin1String("text")) ||
         n.contains(QLatin1String("binary")) || n.contains(QLatin1String("clob"));
}

// ------------------------------------------------------------------------------------------ PostgreSQL

class PgMeta {
 public:
  PgMeta(Connection &c, const QString &object, const QString &schema, DbError *err)
      : c_(c), obj_(object), sch_(schema), err_(err) {}

  RowSetPtr run(MetaKind kind, const QList<int> &kinds);

 private:
  // One round trip for a question about the table or view named by object: detail is a query over
  // "t.oid" whose first column is never NULL. The result's columns are the table's schema, the
  // database, then detail's columns, ordered by orderBy (columns of detail, as "d.name"). A table with
  // no detail rows gives one row whose detail columns are NULL; a missing table gives no row.
  RowSetPtr tableQuery(const QString &detail, const QString &orderBy);
  QString listCond(const char *nspCol) const {
    if (!sch_.isEmpty()) return QStringLiteral("%1 = %2").arg(QLatin1String(nspCol), SqlQuoted(sch_));
    return QStringLiteral("%1 NOT IN ('pg_catalog', 'information_schema') AND %1 NOT LIKE 'pg\\_toast%' AND "
                          "(%1 NOT LIKE 'pg\\_temp\\_%' OR n.oid = pg_catalog.pg_my_temp_schema())")
        .arg(QLatin1String(nspCol));
  }

  Connection &c_;
  QString obj_, sch_;
  DbError *err_;
};

RowSetPtr PgMeta::tableQuery(const QString &detail, const QString &orderBy) {
  // The names are parameters: the text is the same for every table, so the server plans it once.
  const QString cond = sch_.isEmpty() ? QStringLiteral("pg_catalog.pg_table_is_visible(c.oid)")
                                      : QStringLiteral("n.nspname = $2");
  QStringList params{obj_};
  if (!sch_.isEmpty()) params << sch_;
  return Query(c_,
               QStringLiteral("WITH t AS (SELECT c.oid, n.nspname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n "
                              "ON n.oid = c.relnamespace WHERE c.relname = $1 AND c.relkind IN ('r','v','m','p','f') "
                              "AND %1 LIMIT 1) SELECT t.nspname, pg_catalog.current_database(), d.* FROM t LEFT JOIN "
                              "LATERAL (%2) d ON true ORDER BY %3")
                   .arg(cond, detail, orderBy),
               params, err_);
}

RowSetPtr PgMeta::run(MetaKind kind, const QList<int> &kinds) {
  Builder b(kind);
  RowSetPtr rs;
  const bool tableLevel = IsTableLevel(kind);
  // Questions about a table bring the database name along in their one round trip (tableQuery), and
  // so do the arguments of a routine; the lists ask for it once.
  QString db;
  if (!tableLevel && kind != MetaKind::ProcArgs) {
    auto d = Query(c_, QStringLiteral("SELECT pg_catalog.current_database()"), err_);
    if (!d) return nullptr;
    db = d->rowCount() ? T(*d, 0, 0) : QString();
  }
  QString schema;  // of the table, for the table-level kinds
  // Checks a tableQuery result: false (with the error set) when it failed or found no table;
  // otherwise takes the schema and database from it.
  auto tableFound = [&](const RowSetPtr &res) {
    if (!res) return false;
    if (res->rowCount() == 0) {
      NotFound(err_, sch_, obj_);
      return false;
    }
    schema = T(*res, 0, 0);
    db = T(*res, 0, 1);
    return true;
  };
  constexpr int d0 = 2;  // the first detail column of a tableQuery result
  auto base = [&](const QString &sch) {
    b.set("CATALOG_NAME", db).set("SCHEMA_NAME", sch);
    if (tableLevel) b.set("TABLE_NAME", obj_);
  };

  switch (kind) {
    case MetaKind::Catalogs:
      rs = Query(c_, QStringLiteral("SELECT datname FROM pg_catalog.pg_database WHERE datallowconn AND NOT "
                                    "datistemplate ORDER BY datname"),
                 err_);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        b.set("CATALOG_NAME", T(*rs, r, 0));
        b.add();
      }
      break;
    case MetaKind::Schemas:
      rs = Query(c_, QStringLiteral("SELECT nspname FROM pg_catalog.pg_namespace WHERE nspname NOT LIKE 'pg\\_toast%' "
                                    "AND nspname NOT LIKE 'pg\\_temp\\_%' ORDER BY nspname"),
                 err_);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0));
        b.add();
      }
      break;
    case MetaKind::Tables:
      rs = Query(c_, QStringLiteral("SELECT n.nspname, c.relname, c.relkind::text, c.relpersistence::text FROM "
                                    "pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                                    "WHERE c.relkind IN ('r','v','m','p','f') AND %1 ORDER BY n.nspname, c.relname")
                         .arg(listCond("n.nspname")),
                 err_);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const QString k = T(*rs, r, 2);
        const int tk = (k == QLatin1String("v") || k == QLatin1String("m")) ? tkView
                       : T(*rs, r, 3) == QLatin1String("t")                  ? tkTempTable
                                                                             : tkTable;
        if (!WantKind(kinds, tk)) continue;
        base(T(*rs, r, 0));
        b.set("TABLE_NAME", T(*rs, r, 1)).set("TABLE_TYPE", tk).set("TABLE_SCOPE", 1);
        b.add();
      }
      break;
    case MetaKind::TableFields:
      rs = tableQuery(QStringLiteral(
                          "SELECT a.attname, a.attnum, pg_catalog.format_type(a.atttypid, NULL) AS typ, a.attnotnull, "
                          "a.atthasdef, (COALESCE(pg_catalog.pg_get_expr(d.adbin, d.adrelid), '') LIKE 'nextval(%' "
                          "OR a.attidentity <> '') AS autoinc, "
                          "CASE WHEN a.atttypid = 1700 AND a.atttypmod >= 4 THEN ((a.atttypmod - 4) >> 16) & 65535 "
                          "ELSE 0 END AS prec, "
                          "CASE WHEN a.atttypid = 1700 AND a.atttypmod >= 4 THEN (a.atttypmod - 4) & 65535 ELSE 0 END "
                          "AS scale, "
                          "CASE WHEN a.atttypid IN (1042, 1043) AND a.atttypmod >= 4 THEN a.atttypmod - 4 "
                          "WHEN a.atttypid IN (1560, 1562) AND a.atttypmod > 0 THEN a.atttypmod ELSE 0 END AS len "
                          "FROM pg_catalog.pg_attribute a LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid "
                          "AND d.adnum = a.attnum WHERE a.attrelid = t.oid AND a.attnum > 0 AND NOT a.attisdropped"),
                      QStringLiteral("d.attnum"));
      if (!tableFound(rs)) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        if (rs->isNull(r, d0)) continue;
        base(schema);
        const QString tn = T(*rs, r, d0 + 2);
        int attrs = 0;
        if (!I(*rs, r, d0 + 3)) attrs |= ColumnAttrNullable;
        if (I(*rs, r, d0 + 4)) attrs |= ColumnAttrDefault;
        if (I(*rs, r, d0 + 5)) attrs |= ColumnAttrAutoInc;
        b.addColumn(T(*rs, r, d0), I(*rs, r, d0 + 1), tn, attrs, I(*rs, r, d0 + 6), I(*rs, r, d0 + 7),
                    I(*rs, r, d0 + 8));
      }
      break;
    case MetaKind::Indexes:
    case MetaKind::PrimaryKey:
      rs = tableQuery(QStringLiteral(
                          "SELECT i.relname, COALESCE(con.conname, '') AS conname, CASE WHEN ix.indisprimary THEN 2 "
                          "WHEN ix.indisunique THEN 1 ELSE 0 END AS kind FROM pg_catalog.pg_index ix JOIN "
                          "pg_catalog.pg_class i ON i.oid = ix.indexrelid LEFT JOIN pg_catalog.pg_constraint con ON "
                          "con.conindid = ix.indexrelid AND con.conrelid = ix.indrelid AND con.contype IN ('p','u') "
                          "WHERE ix.indrelid = t.oid %1")
                          .arg(kind == MetaKind::PrimaryKey ? QStringLiteral("AND ix.indisprimary") : QString()),
                      QStringLiteral("d.relname"));
      if (!tableFound(rs)) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        if (rs->isNull(r, d0)) continue;
        base(schema);
        const QString constraint = T(*rs, r, d0 + 1);
        // A primary key is known by its constraint's name.
        b.addIndex(kind == MetaKind::PrimaryKey && !constraint.isEmpty() ? constraint : T(*rs, r, d0), constraint,
                   I(*rs, r, d0 + 2));
      }
      break;
    case MetaKind::ForeignKeys:
      rs = tableQuery(QStringLiteral(
                          "SELECT con.conname, pn.nspname, pc.relname, con.confdeltype::text AS del, "
                          "con.confupdtype::text AS upd FROM pg_catalog.pg_constraint con JOIN pg_catalog.pg_class pc "
                          "ON pc.oid = con.confrelid JOIN pg_catalog.pg_namespace pn ON pn.oid = pc.relnamespace "
                          "WHERE con.conrelid = t.oid AND con.contype = 'f'"),
                      QStringLiteral("d.conname"));
      if (!tableFound(rs)) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        if (rs->isNull(r, d0)) continue;
        auto rule = [](const QString &t) {
          return t == QLatin1String("c")   ? ckCascade
                 : t == QLatin1String("r") ? ckRestrict
                 : t == QLatin1String("n") ? ckSetNull
                 : t == QLatin1String("d") ? ckSetDefault
                                           : ckNone;
        };
        base(schema);
        b.addForeignKey(T(*rs, r, d0), db, T(*rs, r, d0 + 1), T(*rs, r, d0 + 2), rule(T(*rs, r, d0 + 3)),
                        rule(T(*rs, r, d0 + 4)));
      }
      break;
    case MetaKind::Procs:
      rs = Query(c_, QStringLiteral(
                         "SELECT n.nspname, p.proname, CASE WHEN count(*) OVER (PARTITION BY n.nspname, p.proname) > 1 "
                         "THEN row_number() OVER (PARTITION BY n.nspname, p.proname ORDER BY p.oid) ELSE 0 END, "
                         "CASE WHEN p.prokind = 'p' THEN 0 ELSE 1 END, p.pronargs, "
                         "(SELECT count(*) FROM unnest(p.proargmodes) m WHERE m::text IN ('o','b','t')) "
                         "FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
                         "WHERE p.prokind IN ('f','p') AND %1 ORDER BY n.nspname, p.proname, p.oid")
                         .arg(listCond("n.nspname")),
                 err_);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0));
        b.set("PROC_NAME", T(*rs, r, 1)).set("OVERLOAD", I(*rs, r, 2)).set("PROC_TYPE", I(*rs, r, 3));
        b.set("PROC_SCOPE", 1).set("IN_PARAMS", I(*rs, r, 4)).set("OUT_PARAMS", I(*rs, r, 5));
        b.add();
      }
      break;
    case MetaKind::ProcArgs: {
      const QString cond = sch_.isEmpty() ? QStringLiteral("pg_catalog.pg_function_is_visible(p.oid)")
                                          : QStringLiteral("n.nspname = $2");
      QStringList params{obj_};
      if (!sch_.isEmpty()) params << sch_;
      const QString from = QStringLiteral("FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = "
                                          "p.pronamespace");
      const QString where = QStringLiteral("WHERE p.proname = $1 AND %1").arg(cond);
      rs = Query(c_, QStringLiteral(
                         "SELECT p.oid::bigint, n.nspname, a.ord::int, COALESCE(p.proargnames[a.ord::int], ''), "
                         "COALESCE(p.proargmodes[a.ord::int]::text, 'i'), pg_catalog.format_type(a.t, NULL), "
                         "pg_catalog.current_database() "
                         "%1 CROSS JOIN LATERAL unnest(COALESCE(p.proallargtypes, p.proargtypes::oid[])) "
                         "WITH ORDINALITY AS a(t, ord) %2 "
                         "UNION ALL SELECT p.oid::bigint, n.nspname, 0, '', 'r', pg_catalog.format_type(p.prorettype, "
                         "NULL), pg_catalog.current_database() %1 %2 AND p.prokind = 'f' AND p.proallargtypes IS NULL "
                         "AND p.prorettype <> 'pg_catalog.void'::pg_catalog.regtype "
                         "UNION ALL SELECT p.oid::bigint, n.nspname, -1, '', '', '', pg_catalog.current_database() %1 %2 "
                         "ORDER BY 1, 3")
                         .arg(from, where),
                 params, err_);
      if (!rs) return nullptr;
      if (rs->rowCount() == 0) return NotFound(err_, sch_, obj_);
      db = T(*rs, 0, 6);
      QList<qint64> oids;
      for (qsizetype r = 0; r < rs->rowCount(); ++r)
        if (!oids.contains(I(*rs, r, 0))) oids << I(*rs, r, 0);
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const qint64 pos = I(*rs, r, 2);
        if (pos < 0) continue;  // the marker row of a procedure without arguments
        const QString mode = T(*rs, r, 4);
        const int dir = mode == QLatin1String("i") || mode == QLatin1String("v") ? pdInput
                        : mode == QLatin1String("o") || mode == QLatin1String("t") ? pdOutput
                        : mode == QLatin1String("b")                               ? pdInputOutput
                        : mode == QLatin1String("r")                               ? pdResult
                                                                                   : pdUnknown;
        const QString tn = T(*rs, r, 5);
        base(T(*rs, r, 1));
        b.set("PROC_NAME", obj_).set("OVERLOAD", oids.size() > 1 ? oids.indexOf(I(*rs, r, 0)) + 1 : 0);
        b.set("PARAM_NAME", T(*rs, r, 3)).set("PARAM_POSITION", pos).set("PARAM_TYPE", dir);
        b.set("PARAM_DATATYPE", int(TypeOfName(tn))).set("PARAM_TYPENAME", tn);
        b.set("PARAM_ATTRIBUTES", ColumnAttrNullable);
        b.add();
      }
      break;
    }
    case MetaKind::Generators:
      rs = Query(c_, QStringLiteral("SELECT n.nspname, c.relname FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace "
                                    "n ON n.oid = c.relnamespace WHERE c.relkind = 'S' AND %1 ORDER BY 1, 2")
                         .arg(listCond("n.nspname")),
                 err_);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0));
        b.set("GENERATOR_NAME", T(*rs, r, 1)).set("GENERATOR_SCOPE", 1);
        b.add();
      }
      break;
  }
  return b.result();
}

// --------------------------------------------------------------------------------------------- MySQL

RowSetPtr MyMeta(Connection &c, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                 const QList<int> &kinds) {
  Builder b(kind);
  const QString db = schema.isEmpty() ? QStringLiteral("DATABASE()") : SqlQuoted(schema, true);
  const QString tbl = SqlQuoted(object, true);
  RowSetPtr rs;
  const bool tableLevel = IsTableLevel(kind);
  QString dbName = schema;
  if (tableLevel) {
    // The existence check brings the current database along: one round trip fewer per table.
    auto t = Query(c, QStringLiteral("SELECT TABLE_NAME, DATABASE() FROM information_schema.TABLES WHERE "
                                     "TABLE_SCHEMA = %1 AND TABLE_NAME = %2 AND TABLE_TYPE <> 'SEQUENCE'")
                          .arg(db, tbl),
                   err);
    if (!t) return nullptr;
    if (t->rowCount() == 0) return NotFound(err, schema, object);
    if (dbName.isEmpty()) dbName = T(*t, 0, 1);
  } else if (dbName.isEmpty()) {
    auto d = Query(c, QStringLiteral("SELECT DATABASE()"), err);
    if (!d) return nullptr;
    dbName = d->rowCount() ? T(*d, 0, 0) : QString();
  }
  auto base = [&](const QString &cat) {
    b.set("CATALOG_NAME", cat);
    if (tableLevel) b.set("TABLE_NAME", object);
  };
  switch (kind) {
    case MetaKind::Catalogs:
      rs = Query(c, QStringLiteral("SELECT SCHEMA_NAME FROM information_schema.SCHEMATA ORDER BY SCHEMA_NAME"), err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        b.set("CATALOG_NAME", T(*rs, r, 0));
        b.add();
      }
      break;
    case MetaKind::Schemas:
      break;  // databases are the catalogs
    case MetaKind::Tables:
      rs = Query(c, QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE "
                                   "TABLE_SCHEMA = %1 ORDER BY TABLE_NAME")
                        .arg(db),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const QString t = T(*rs, r, 2).toUpper();
        int tk;
        if (t == QLatin1String("BASE TABLE")) tk = tkTable;
        else if (t.contains(QLatin1String("VIEW"))) tk = tkView;
        else if (t.contains(QLatin1String("TEMPORARY"))) tk = tkTempTable;
        else continue;  // sequences are generators
        if (!WantKind(kinds, tk)) continue;
        base(T(*rs, r, 0));
        b.set("TABLE_NAME", T(*rs, r, 1)).set("TABLE_TYPE", tk).set("TABLE_SCOPE", 1);
        b.add();
      }
      break;
    case MetaKind::TableFields:
      rs = Query(c, QStringLiteral("SELECT COLUMN_NAME, ORDINAL_POSITION, DATA_TYPE, IS_NULLABLE, NUMERIC_PRECISION, "
                                   "NUMERIC_SCALE, CHARACTER_MAXIMUM_LENGTH, EXTRA, COLUMN_DEFAULT FROM "
                                   "information_schema.COLUMNS WHERE TABLE_SCHEMA = %1 AND TABLE_NAME = %2 ORDER BY "
                                   "ORDINAL_POSITION")
                        .arg(db, tbl),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(dbName);
        const QString tn = T(*rs, r, 2);
        int attrs = 0;
        if (T(*rs, r, 3).compare(QLatin1String("YES"), Qt::CaseInsensitive) == 0) attrs |= ColumnAttrNullable;
        if (T(*rs, r, 7).contains(QLatin1String("auto_increment"), Qt::CaseInsensitive)) attrs |= ColumnAttrAutoInc;
        const bool hasDefault = !rs->isNull(r, 8) && T(*rs, r, 8).compare(QLatin1String("NULL"), Qt::CaseInsensitive) != 0;
        if (hasDefault) attrs |= ColumnAttrDefault;
        b.addColumn(T(*rs, r, 0), I(*rs, r, 1), tn, attrs, I(*rs, r, 4), I(*rs, r, 5), I(*rs, r, 6));
      }
      break;
    case MetaKind::Indexes:
    case MetaKind::PrimaryKey:
      rs = Query(c, QStringLiteral("SELECT INDEX_NAME, MIN(NON_UNIQUE) FROM information_schema.STATISTICS WHERE "
                                   "TABLE_SCHEMA = %1 AND TABLE_NAME = %2 %3 GROUP BY INDEX_NAME ORDER BY INDEX_NAME")
                        .arg(db, tbl,
                             kind == MetaKind::PrimaryKey ? QStringLiteral("AND INDEX_NAME = 'PRIMARY'") : QString()),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(dbName);
        const QString name = T(*rs, r, 0);
        const int ik = name == QLatin1String("PRIMARY") ? ikPrimaryKey : I(*rs, r, 1) ? ikNonUnique : ikUnique;
        b.addIndex(name, ik == ikNonUnique ? QString() : name, ik);
      }
      break;
    case MetaKind::ForeignKeys:
      rs = Query(c, QStringLiteral("SELECT CONSTRAINT_NAME, UNIQUE_CONSTRAINT_SCHEMA, REFERENCED_TABLE_NAME, "
                                   "DELETE_RULE, UPDATE_RULE FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE "
                                   "CONSTRAINT_SCHEMA = %1 AND TABLE_NAME = %2 ORDER BY CONSTRAINT_NAME")
                        .arg(db, tbl),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(dbName);
        b.addForeignKey(T(*rs, r, 0), T(*rs, r, 1), QString(), T(*rs, r, 2), RuleFromText(T(*rs, r, 3)),
                        RuleFromText(T(*rs, r, 4)));
      }
      break;
    case MetaKind::Procs:
      rs = Query(c, QStringLiteral(
                        "SELECT r.ROUTINE_SCHEMA, r.ROUTINE_NAME, r.ROUTINE_TYPE, (SELECT COUNT(*) FROM "
                        "information_schema.PARAMETERS p WHERE p.SPECIFIC_SCHEMA = r.ROUTINE_SCHEMA AND p.SPECIFIC_NAME "
                        "= r.SPECIFIC_NAME AND p.PARAMETER_MODE IN ('IN','INOUT')), (SELECT COUNT(*) FROM "
                        "information_schema.PARAMETERS p WHERE p.SPECIFIC_SCHEMA = r.ROUTINE_SCHEMA AND p.SPECIFIC_NAME "
                        "= r.SPECIFIC_NAME AND (p.PARAMETER_MODE IS NULL OR p.PARAMETER_MODE IN ('OUT','INOUT'))) "
                        "FROM information_schema.ROUTINES r WHERE r.ROUTINE_SCHEMA = %1 ORDER BY r.ROUTINE_NAME")
                        .arg(db),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0));
        b.set("PROC_NAME", T(*rs, r, 1));
        b.set("PROC_TYPE", T(*rs, r, 2).compare(QLatin1String("FUNCTION"), Qt::CaseInsensitive) == 0 ? pkFunction
                                                                                                       : pkProcedure);
        b.set("PROC_SCOPE", 1).set("IN_PARAMS", I(*rs, r, 3)).set("OUT_PARAMS", I(*rs, r, 4));
        b.add();
      }
      break;
    case MetaKind::ProcArgs: {
      auto p = Query(c, QStringLiteral("SELECT ROUTINE_NAME FROM information_schema.ROUTINES WHERE ROUTINE_SCHEMA = %1 "
                                       "AND ROUTINE_NAME = %2")
                            .arg(db, tbl),
                     err);
      if (!p) return nullptr;
      if (p->rowCount() == 0) return NotFound(err, schema, object);
      rs = Query(c, QStringLiteral("SELECT ORDINAL_POSITION, PARAMETER_MODE, PARAMETER_NAME, DATA_TYPE, "
                                   "NUMERIC_PRECISION, NUMERIC_SCALE, CHARACTER_MAXIMUM_LENGTH FROM "
                                   "information_schema.PARAMETERS WHERE SPECIFIC_SCHEMA = %1 AND SPECIFIC_NAME = %2 "
                                   "ORDER BY ORDINAL_POSITION")
                        .arg(db, tbl),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const QString mode = T(*rs, r, 1).toUpper();
        const int dir = rs->isNull(r, 1) || mode.isEmpty() ? pdResult
                        : mode == QLatin1String("IN")      ? pdInput
                        : mode == QLatin1String("OUT")     ? pdOutput
                        : mode == QLatin1String("INOUT")   ? pdInputOutput
                                                           : pdUnknown;
        const QString tn = T(*rs, r, 3);
        base(dbName);
        b.set("PROC_NAME", object).set("PARAM_NAME", T(*rs, r, 2)).set("PARAM_POSITION", I(*rs, r, 0));
        b.set("PARAM_TYPE", dir).set("PARAM_DATATYPE", int(TypeOfName(tn)));
        b.set("PARAM_TYPENAME", tn).set("PARAM_ATTRIBUTES", ColumnAttrNullable);
        b.set("PARAM_PRECISION", I(*rs, r, 4)).set("PARAM_SCALE", I(*rs, r, 5)).set("PARAM_LENGTH", I(*rs, r, 6));
        b.add();
      }
      break;
    }
    case MetaKind::Generators:
      rs = Query(c, QStringLiteral("SELECT TABLE_SCHEMA, TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                                   "%1 AND TABLE_TYPE = 'SEQUENCE' ORDER BY TABLE_NAME")
                        .arg(db),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0));
        b.set("GENERATOR_NAME", T(*rs, r, 1)).set("GENERATOR_SCOPE", 1);
        b.add();
      }
      break;
  }
  return b.result();
}

// -------------------------------------------------------------------------------------------- SQLite

// "NUMERIC(10, 2)" -> name "NUMERIC", numbers {10, 2}.
void SplitDeclaredType(const QString &decl, QString *name, QList<int> *nums) {
  const qsizetype open = decl.indexOf(QLatin1Char('('));
  *name = (open < 0 ? decl : decl.left(open)).trimmed();
  nums->clear();
  if (open < 0) return;
  const qsizetype close = decl.indexOf(QLatin1Char(')'), open);
  const QString inner = decl.mid(open + 1, close < 0 ? -1 : close - open - 1);
  for (const QString &p : inner.split(QLatin1Char(','))) {
    bool ok = false;
    const int v = p.trimmed().toInt(&ok);
    if (ok) nums->append(v);
  }
}

// What a declared column type of SQLite says, worked out once per thread for each text (a database
// declares the same few types over and over).
struct DeclaredType {
  QString name;
  qint64 precision = 0, scale = 0, length = 0;
};

const DeclaredType &ReadDeclaredType(const QString &decl) {
  thread_local QHash<QString, DeclaredType> known;
  auto it = known.find(decl);
  if (it != known.end()) return it.value();
  if (known.size() >= 4096) known.clear();
  DeclaredType t;
  QList<int> nums;
  SplitDeclaredType(decl, &t.name, &nums);
  if (IsCharType(t.name)) {
    t.length = nums.value(0);
  } else {
    t.precision = nums.value(0);
    t.scale = nums.value(1);
  }
  return known.insert(decl, t).value();
}

// The rows of a statement run straight on the SQLite handle. Metadata comes from pragmas that cost a
// few microseconds; a cursor's set-up (field types, origins, result storage) would cost more than the
// pragma itself, and a refresh asks thousands of them. ReadSqliteRows (local SQL) was measured here too:
// its type inference and result storage made a refresh about 7% slower, so the pragmas keep this reader.
class LiteRows {
 public:
  bool run(sqlite3 *db, const QString &sql, DbError *err) {
    cells_.clear();
    rows_ = 0;
    sqlite3_stmt *st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr) != SQLITE_OK)
      return fail(db, err);
    cols_ = sqlite3_column_count(st);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      for (int c = 0; c < cols_; ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_NULL: cells_.emplace_back(); break;
          case SQLITE_INTEGER: cells_.emplace_back(qint64(sqlite3_column_int64(st, c))); break;
          default:
            cells_.emplace_back(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                                  sqlite3_column_bytes(st, c)));
        }
      }
      ++rows_;
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE || fail(db, err);
  }
  qsizetype rowCount() const { return rows_; }
  bool isNull(qsizetype r, int c) const { return cells_[size_t(r * cols_ + c)].isNull(); }
  QString text(qsizetype r, int c) const { return cells_[size_t(r * cols_ + c)].toString(); }
  qint64 integer(qsizetype r, int c) const { return cells_[size_t(r * cols_ + c)].toLongLong(); }
  // Sorts the rows by a key of each row (the pragmas return their rows in storage order).
  template <typename Key>
  void sortBy(Key key) {
    std::vector<qsizetype> order(static_cast<size_t>(rows_));
    for (qsizetype r = 0; r < rows_; ++r) order[size_t(r)] = r;
    std::stable_sort(order.begin(), order.end(), [&](qsizetype x, qsizetype y) { return key(x) < key(y); });
    std::vector<QVariant> sorted;
    sorted.reserve(cells_.size());
    for (qsizetype r : order)
      for (int c = 0; c < cols_; ++c) sorted.push_back(cells_[size_t(r * cols_ + c)]);
    cells_.swap(sorted);
  }

 private:
  static bool fail(sqlite3 *db, DbError *err) {
    SetErr(err, QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_errcode(db));
    return false;
  }
  int cols_ = 0;
  qsizetype rows_ = 0;
  std::vector<QVariant> cells_;
};

// Whether the table's columns include a primary key, remembered from the last TableFields request
// of a connection: the PrimaryKey request a walk makes next for the same table needs it when the key
// has no index of its own (an INTEGER PRIMARY KEY is the row id), which would otherwise take a second
// read of every column. It holds while the database files have not changed: their data versions
// (which count changes of this connection and, from the next read on, of any other) are the same,
// and both requests ran outside a transaction of the connection.
struct LitePkMemo {
  QString schema, table;
  unsigned mainVersion = 0, tempVersion = 0;
  bool tempOpen = false;
  bool anyPk = false;
};

// The data versions a memo is checked against; false when they cannot be told.
bool LiteVersions(sqlite3 *db, const QString &schema, LitePkMemo *m) {
  if (!sqlite3_get_autocommit(db)) return false;
  const QByteArray main = schema.isEmpty() ? QByteArray("main") : schema.toUtf8();
  if (sqlite3_file_control(db, main.constData(), SQLITE_FCNTL_DATA_VERSION, &m->mainVersion) != SQLITE_OK)
    return false;
  // Without a schema, a temporary table of the same name comes first.
  m->tempOpen = schema.isEmpty() &&
                sqlite3_file_control(db, "temp", SQLITE_FCNTL_DATA_VERSION, &m->tempVersion) == SQLITE_OK;
  if (!m->tempOpen) m->tempVersion = 0;
  return true;
}

RowSetPtr SqliteMeta(Connection &c, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                     const QList<int> &kinds) {
  sqlite3 *db = c.sqliteHandle();
  if (!db) {
    SetErr(err, QStringLiteral("The SQLite connection has no database handle"));
    return nullptr;
  }
  Builder b(kind);
  const QString master = schema.isEmpty() ? QStringLiteral("sqlite_master") : c.quoteIdentifier(schema) + QLatin1String(".sqlite_master");
  const bool tableLevel = IsTableLevel(kind);
  // "PRAGMA [schema.]name('table')": the table is found through the schema's hash of names (ignoring
  // case, like SQL itself does), so a walk over many tables stays linear.
  auto pragma = [&](const char *name) {
    return QStringLiteral("PRAGMA %1%2(%3)")
        .arg(schema.isEmpty() ? QString() : c.quoteIdentifier(schema) + u'.', QLatin1String(name), SqlQuoted(object));
  };
  // Whether the table or view exists; asked only when a request found no rows. Without a column,
  // sqlite3_table_column_metadata only looks a table up; it refuses views, which have columns.
  auto exists = [&](bool *found) {
    const QByteArray sch = schema.toUtf8(), tbl = object.toUtf8();
    const int rc = sqlite3_table_column_metadata(db, schema.isEmpty() ? nullptr : sch.constData(), tbl.constData(),
                                                 nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return *found = true;
    LiteRows cols;
    if (!cols.run(db, pragma("table_info"), err)) return false;
    *found = cols.rowCount() > 0;
    return true;
  };
  auto base = [&] {
    b.set("SCHEMA_NAME", schema);
    if (tableLevel) b.set("TABLE_NAME", object);
  };
  LiteRows rs;
  switch (kind) {
    case MetaKind::Catalogs:
    case MetaKind::Schemas:
    case MetaKind::Procs:
    case MetaKind::Generators:
      break;  // none in SQLite
    case MetaKind::ProcArgs:
      return NotFound(err, schema, object);
    case MetaKind::Tables: {
      QString sql = QStringLiteral("SELECT name, type FROM %1 WHERE type IN ('table','view') AND name NOT LIKE "
                                   "'sqlite\\_%' ESCAPE '\\'")
                        .arg(master);
      if (schema.isEmpty())
        sql += QStringLiteral(" UNION ALL SELECT name, 'temp' FROM sqlite_temp_master WHERE type = 'table'");
      if (!rs.run(db, sql + QStringLiteral(" ORDER BY 1"), err)) return nullptr;
      for (qsizetype r = 0; r < rs.rowCount(); ++r) {
        const QString t = rs.text(r, 1);
        const int tk = t == QLatin1String("view") ? tkView : t == QLatin1String("temp") ? tkTempTable : tkTable;
        if (!WantKind(kinds, tk)) continue;
        base();
        b.set("TABLE_NAME", rs.text(r, 0)).set("TABLE_TYPE", tk).set("TABLE_SCOPE", 1);
        b.add();
      }
      break;
    }
    case MetaKind::TableFields: {
      // cid, name, type, notnull, dflt_value, pk; every table and view has at least one column.
      if (!rs.run(db, pragma("table_info"), err)) return nullptr;
      if (rs.rowCount() == 0) return NotFound(err, schema, object);
      int pkCount = 0;
      for (qsizetype r = 0; r < rs.rowCount(); ++r)
        if (rs.integer(r, 5) > 0) ++pkCount;
      {
        auto memo = std::make_shared<LitePkMemo>();
        memo->schema = schema;
        memo->table = object;
        memo->anyPk = pkCount > 0;
        if (LiteVersions(db, schema, memo.get())) c.metadataMemo() = memo;
        else c.metadataMemo().reset();
      }
      for (qsizetype r = 0; r < rs.rowCount(); ++r) {
        const DeclaredType &t = ReadDeclaredType(rs.text(r, 2));
        const bool rowid = pkCount == 1 && rs.integer(r, 5) > 0 && t.name.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        int attrs = 0;
        if (!rs.integer(r, 3) && !rowid) attrs |= ColumnAttrNullable;
        if (!rs.isNull(r, 4)) attrs |= ColumnAttrDefault;
        if (rowid) attrs |= ColumnAttrAutoInc;
        base();
        b.addColumn(rs.text(r, 1), rs.integer(r, 0) + 1, t.name, attrs, t.precision, t.scale, t.length);
      }
      break;
    }
    case MetaKind::Indexes:
    case MetaKind::PrimaryKey: {
      // seq, name, unique, origin, partial
      if (!rs.run(db, pragma("index_list"), err)) return nullptr;
      rs.sortBy([&](qsizetype r) { return rs.text(r, 1); });
      bool pkSeen = false;
      for (qsizetype r = 0; r < rs.rowCount(); ++r) {
        const int ik = rs.text(r, 3) == QLatin1String("pk") ? ikPrimaryKey : rs.integer(r, 2) ? ikUnique : ikNonUnique;
        if (ik == ikPrimaryKey) pkSeen = true;
        if (kind == MetaKind::PrimaryKey && ik != ikPrimaryKey) continue;
        base();
        b.addIndex(rs.text(r, 1), ik == ikNonUnique ? QString() : rs.text(r, 1), ik);
      }
      if (rs.rowCount() == 0 && kind == MetaKind::Indexes) {
        bool found = false;
        if (!exists(&found)) return nullptr;
        if (!found) return NotFound(err, schema, object);
      }
      if (kind == MetaKind::PrimaryKey && !pkSeen) {
        // An INTEGER PRIMARY KEY is the row id and has no index of its own. The index list just read
        // brought the data versions up to date, so the memo is checked after it.
        bool hasPk = false;
        const auto *memo = static_cast<const LitePkMemo *>(c.metadataMemo().get());
        LitePkMemo now;
        if (memo && memo->schema == schema && memo->table == object && LiteVersions(db, schema, &now) &&
            now.mainVersion == memo->mainVersion && now.tempOpen == memo->tempOpen &&
            now.tempVersion == memo->tempVersion) {
          hasPk = memo->anyPk;
        } else {
          LiteRows cols;
          if (!cols.run(db, pragma("table_info"), err)) return nullptr;
          if (cols.rowCount() == 0) return NotFound(err, schema, object);
          for (qsizetype r = 0; r < cols.rowCount(); ++r) hasPk = hasPk || cols.integer(r, 5) > 0;
        }
        if (hasPk) {
          base();
          b.addIndex(QStringLiteral("PK_") + object, QStringLiteral("PK_") + object, ikPrimaryKey);
        }
      }
      break;
    }
    case MetaKind::ForeignKeys: {
      // id, seq, table, from, to, on_update, on_delete, match; one row per column of a key.
      if (!rs.run(db, pragma("foreign_key_list"), err)) return nullptr;
      if (rs.rowCount() == 0) {
        bool found = false;
        if (!exists(&found)) return nullptr;
        if (!found) return NotFound(err, schema, object);
      }
      rs.sortBy([&](qsizetype r) { return -rs.integer(r, 0); });
      // SQLite keeps no constraint names here: the keys are numbered in their order of declaration.
      int n = 0;
      for (qsizetype r = 0; r < rs.rowCount(); ++r) {
        if (rs.integer(r, 1) != 0) continue;
        base();
        b.addForeignKey(QStringLiteral("FK_%1_%2").arg(object, QString::number(++n)), QString(), QString(), rs.text(r, 2),
                        RuleFromText(rs.text(r, 6)), RuleFromText(rs.text(r, 5)));
      }
      break;
    }
  }
  return b.result();
}

// ------------------------------------------------------------------------------------------ Firebird

// Type name, precision, scale, length of a field from RDB$FIELDS values.
struct FbType {
  QString name;
  qint64 precision = 0, scale = 0, length = 0;
};

FbType FbTypeOf(qint64 type, qint64 subType, qint64 precision, qint64 scale, qint64 charLength) {
  FbType t;
  const bool exact = (type == 7 || type == 8 || type == 16) && (subType == 1 || subType == 2 || scale > 0);
  if (exact) {
    t.name = subType == 2 ? QStringLiteral("DECIMAL") : QStringLiteral("NUMERIC");
    t.precision = precision;
    t.scale = scale;
    return t;
  }
  switch (type) {
    case 7: t.name = QStringLiteral("SMALLINT"); break;
    case 8: t.name = QStringLiteral("INTEGER"); break;
    case 16: t.name = QStringLiteral("BIGINT"); break;
    case 10: t.name = QStringLiteral("FLOAT"); break;
    case 27: t.name = QStringLiteral("DOUBLE PRECISION"); break;
    case 12: t.name = QStringLiteral("DATE"); break;
    case 13: t.name = QStringLiteral("TIME"); break;
    case 35: t.name = QStringLiteral("TIMESTAMP"); break;
    case 23: t.name = QStringLiteral("BOOLEAN"); break;
    case 14: t.name = QStringLiteral("CHAR"); t.length = charLength; break;
    case 37: t.name = QStringLiteral("VARCHAR"); t.length = charLength; break;
    case 40: t.name = QStringLiteral("CSTRING"); t.length = charLength; break;
    case 261: t.name = subType == 1 ? QStringLiteral("BLOB SUB_TYPE TEXT") : QStringLiteral("BLOB"); break;
    default: t.name = QStringLiteral("UNKNOWN"); break;
  }
  return t;
}

RowSetPtr FbMeta(Connection &c, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                 const QList<int> &kinds) {
  Builder b(kind);
  const QString name = SqlQuoted(object);
  const bool tableLevel = IsTableLevel(kind);
  if (tableLevel) {
    auto t = Query(c, QStringLiteral("SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = %1").arg(name), err);
    if (!t) return nullptr;
    if (t->rowCount() == 0) return NotFound(err, schema, object);
    b.set("TABLE_NAME", object);
  }
  auto base = [&] {
    if (tableLevel) b.set("TABLE_NAME", object);
  };
  const QString typeCols = QStringLiteral("f.RDB$FIELD_TYPE, COALESCE(f.RDB$FIELD_SUB_TYPE, 0), "
                                          "COALESCE(f.RDB$FIELD_PRECISION, 0), COALESCE(-f.RDB$FIELD_SCALE, 0), "
                                          "COALESCE(f.RDB$CHARACTER_LENGTH, f.RDB$FIELD_LENGTH, 0)");
  RowSetPtr rs;
  switch (kind) {
    case MetaKind::Catalogs:
    case MetaKind::Schemas:
      break;
    case MetaKind::Tables:
      rs = Query(c, QStringLiteral("SELECT TRIM(RDB$RELATION_NAME), CASE WHEN RDB$VIEW_BLR IS NULL THEN 0 ELSE 1 END, "
                                   "COALESCE(RDB$RELATION_TYPE, 0) FROM RDB$RELATIONS WHERE COALESCE(RDB$SYSTEM_FLAG, 0) "
                                   "= 0 ORDER BY 1"),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const qint64 rt = I(*rs, r, 2);
        const int tk = I(*rs, r, 1) ? tkView : (rt == 4 || rt == 5) ? tkTempTable : tkTable;
        if (!WantKind(kinds, tk)) continue;
        b.set("TABLE_NAME", T(*rs, r, 0)).set("TABLE_TYPE", tk).set("TABLE_SCOPE", 1);
        b.add();
      }
      break;
    case MetaKind::TableFields:
      rs = Query(c, QStringLiteral("SELECT TRIM(rf.RDB$FIELD_NAME), rf.RDB$FIELD_POSITION, %1, "
                                   "COALESCE(rf.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0), CASE WHEN rf.RDB$DEFAULT_SOURCE IS "
                                   "NOT NULL OR f.RDB$DEFAULT_SOURCE IS NOT NULL THEN 1 ELSE 0 END, CASE WHEN "
                                   "rf.RDB$IDENTITY_TYPE IS NULL THEN 0 ELSE 1 END FROM RDB$RELATION_FIELDS rf JOIN "
                                   "RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE rf.RDB$RELATION_NAME = "
                                   "%2 ORDER BY rf.RDB$FIELD_POSITION")
                        .arg(typeCols, name),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const FbType t = FbTypeOf(I(*rs, r, 2), I(*rs, r, 3), I(*rs, r, 4), I(*rs, r, 5), I(*rs, r, 6));
        int attrs = 0;
        if (!I(*rs, r, 7)) attrs |= ColumnAttrNullable;
        if (I(*rs, r, 8)) attrs |= ColumnAttrDefault;
        if (I(*rs, r, 9)) attrs |= ColumnAttrAutoInc;
        base();
        b.addColumn(T(*rs, r, 0), I(*rs, r, 1) + 1, t.name, attrs, t.precision, t.scale, t.length);
      }
      break;
    case MetaKind::Indexes:
      rs = Query(c, QStringLiteral("SELECT TRIM(i.RDB$INDEX_NAME), TRIM(COALESCE(rc.RDB$CONSTRAINT_NAME, '')), "
                                   "TRIM(COALESCE(rc.RDB$CONSTRAINT_TYPE, '')), COALESCE(i.RDB$UNIQUE_FLAG, 0) FROM "
                                   "RDB$INDICES i LEFT JOIN RDB$RELATION_CONSTRAINTS rc ON rc.RDB$INDEX_NAME = "
                                   "i.RDB$INDEX_NAME WHERE i.RDB$RELATION_NAME = %1 ORDER BY 1")
                        .arg(name),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const int ik = T(*rs, r, 2) == QLatin1String("PRIMARY KEY") ? ikPrimaryKey : I(*rs, r, 3) ? ikUnique
                                                                                                  : ikNonUnique;
        base();
        b.addIndex(T(*rs, r, 0), T(*rs, r, 1), ik);
      }
      break;
    case MetaKind::PrimaryKey:
      rs = Query(c, QStringLiteral("SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS WHERE "
                                   "RDB$RELATION_NAME = %1 AND RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'")
                        .arg(name),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base();
        b.addIndex(T(*rs, r, 0), T(*rs, r, 0), ikPrimaryKey);
      }
      break;
    case MetaKind::ForeignKeys:
      rs = Query(c, QStringLiteral("SELECT TRIM(rc.RDB$CONSTRAINT_NAME), TRIM(pk.RDB$RELATION_NAME), "
                                   "TRIM(ref.RDB$DELETE_RULE), TRIM(ref.RDB$UPDATE_RULE) FROM RDB$RELATION_CONSTRAINTS "
                                   "rc JOIN RDB$REF_CONSTRAINTS ref ON ref.RDB$CONSTRAINT_NAME = rc.RDB$CONSTRAINT_NAME "
                                   "JOIN RDB$RELATION_CONSTRAINTS pk ON pk.RDB$CONSTRAINT_NAME = ref.RDB$CONST_NAME_UQ "
                                   "WHERE rc.RDB$RELATION_NAME = %1 AND rc.RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' ORDER BY 1")
                        .arg(name),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base();
        b.addForeignKey(T(*rs, r, 0), QString(), QString(), T(*rs, r, 1), RuleFromText(T(*rs, r, 2)),
                        RuleFromText(T(*rs, r, 3)));
      }
      break;
    case MetaKind::Procs:
      rs = Query(c, QStringLiteral(
                        "SELECT TRIM(RDB$PROCEDURE_NAME), 0, COALESCE(RDB$PROCEDURE_INPUTS, 0), "
                        "COALESCE(RDB$PROCEDURE_OUTPUTS, 0) FROM RDB$PROCEDURES WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0 "
                        "AND RDB$PACKAGE_NAME IS NULL UNION ALL SELECT TRIM(f.RDB$FUNCTION_NAME), 1, (SELECT COUNT(*) "
                        "FROM RDB$FUNCTION_ARGUMENTS a WHERE a.RDB$FUNCTION_NAME = f.RDB$FUNCTION_NAME AND "
                        "a.RDB$PACKAGE_NAME IS NULL AND a.RDB$ARGUMENT_POSITION <> COALESCE(f.RDB$RETURN_ARGUMENT, 0)), "
                        "1 FROM RDB$FUNCTIONS f WHERE COALESCE(f.RDB$SYSTEM_FLAG, 0) = 0 AND f.RDB$PACKAGE_NAME IS NULL "
                        "ORDER BY 1"),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        b.set("PROC_NAME", T(*rs, r, 0)).set("PROC_TYPE", I(*rs, r, 1)).set("PROC_SCOPE", 1);
        b.set("IN_PARAMS", I(*rs, r, 2)).set("OUT_PARAMS", I(*rs, r, 3));
        b.add();
      }
      break;
    case MetaKind::ProcArgs: {
      auto kindOf = Query(c, QStringLiteral("SELECT 0 FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = %1 AND "
                                            "RDB$PACKAGE_NAME IS NULL UNION ALL SELECT 1 FROM RDB$FUNCTIONS WHERE "
                                            "RDB$FUNCTION_NAME = %1 AND RDB$PACKAGE_NAME IS NULL")
                                 .arg(name),
                          err);
      if (!kindOf) return nullptr;
      if (kindOf->rowCount() == 0) return NotFound(err, schema, object);
      if (I(*kindOf, 0, 0) == 0) {
        rs = Query(c, QStringLiteral("SELECT TRIM(pp.RDB$PARAMETER_NAME), pp.RDB$PARAMETER_TYPE, %1, "
                                     "COALESCE(pp.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0) FROM RDB$PROCEDURE_PARAMETERS pp "
                                     "JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = pp.RDB$FIELD_SOURCE WHERE "
                                     "pp.RDB$PROCEDURE_NAME = %2 AND pp.RDB$PACKAGE_NAME IS NULL ORDER BY "
                                     "pp.RDB$PARAMETER_TYPE, pp.RDB$PARAMETER_NUMBER")
                          .arg(typeCols, name),
                   err);
      } else {
        rs = Query(c, QStringLiteral("SELECT TRIM(COALESCE(a.RDB$ARGUMENT_NAME, '')), CASE WHEN a.RDB$ARGUMENT_POSITION "
                                     "= COALESCE(fn.RDB$RETURN_ARGUMENT, 0) THEN 4 ELSE 0 END, "
                                     "COALESCE(f.RDB$FIELD_TYPE, a.RDB$FIELD_TYPE), COALESCE(f.RDB$FIELD_SUB_TYPE, "
                                     "a.RDB$FIELD_SUB_TYPE, 0), COALESCE(f.RDB$FIELD_PRECISION, a.RDB$FIELD_PRECISION, 0), "
                                     "COALESCE(-f.RDB$FIELD_SCALE, -a.RDB$FIELD_SCALE, 0), COALESCE(f.RDB$CHARACTER_LENGTH, "
                                     "a.RDB$CHARACTER_LENGTH, f.RDB$FIELD_LENGTH, a.RDB$FIELD_LENGTH, 0), "
                                     "COALESCE(a.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0) FROM RDB$FUNCTION_ARGUMENTS a JOIN "
                                     "RDB$FUNCTIONS fn ON fn.RDB$FUNCTION_NAME = a.RDB$FUNCTION_NAME AND "
                                     "fn.RDB$PACKAGE_NAME IS NULL LEFT JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = "
                                     "a.RDB$FIELD_SOURCE WHERE a.RDB$FUNCTION_NAME = %1 AND a.RDB$PACKAGE_NAME IS NULL "
                                     "ORDER BY a.RDB$ARGUMENT_POSITION")
                          .arg(name),
                   err);
      }
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const qint64 pt = I(*rs, r, 1);
        const int dir = pt == 0 ? pdInput : pt == 1 ? pdOutput : pt == 4 ? pdResult : pdUnknown;
        const FbType t = FbTypeOf(I(*rs, r, 2), I(*rs, r, 3), I(*rs, r, 4), I(*rs, r, 5), I(*rs, r, 6));
        b.set("PROC_NAME", object).set("PARAM_NAME", T(*rs, r, 0)).set("PARAM_POSITION", r + 1);
        b.set("PARAM_TYPE", dir).set("PARAM_DATATYPE", int(TypeOfName(t.name)));
        b.set("PARAM_TYPENAME", t.name).set("PARAM_ATTRIBUTES", I(*rs, r, 7) ? 0 : ColumnAttrNullable);
        b.set("PARAM_PRECISION", t.precision).set("PARAM_SCALE", t.scale).set("PARAM_LENGTH", t.length);
        b.add();
      }
      break;
    }
    case MetaKind::Generators:
      rs = Query(c, QStringLiteral("SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE "
                                   "COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1"),
                 err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        b.set("GENERATOR_NAME", T(*rs, r, 0)).set("GENERATOR_SCOPE", 1);
        b.add();
      }
      break;
  }
  return b.result();
}

// ---------------------------------------------------------------------------------------------- ODBC

RowSetPtr Catalog(Connection &c, OdbcCatalogCall call, const QString &schema, const QString &object, DbError *err,
                  const QString &extra = QString()) {
  auto cur = OdbcCatalog(c, call, QString(), schema, object, err, extra);
  if (!cur) return nullptr;
  auto rs = std::make_shared<RowSet>(cur->fields());
  if (cur->hasRows() && cur->fetch(*rs, -1, err) < 0) return nullptr;
  return rs;
}

int TableKindOfOdbc(const QString &type) {
  const QString t = type.trimmed().toUpper();
  if (t == QLatin1String("TABLE") || t == QLatin1String("BASE TABLE")) return tkTable;
  if (t == QLatin1String("VIEW")) return tkView;
  if (t == QLatin1String("SYNONYM") || t == QLatin1String("ALIAS")) return tkSynonym;
  if (t == QLatin1String("GLOBAL TEMPORARY")) return tkTempTable;
  if (t == QLatin1String("LOCAL TEMPORARY")) return tkLocalTable;
  return -1;
}

int RuleOfOdbc(qint64 v) {
  switch (v) {
    case 0: return ckCascade;     // SQL_CASCADE
    case 1: return ckRestrict;    // SQL_RESTRICT
    case 2: return ckSetNull;     // SQL_SET_NULL
    case 4: return ckSetDefault;  // SQL_SET_DEFAULT
    default: return ckNone;       // SQL_NO_ACTION
  }
}

// ODBC SQL type codes that carry a length rather than a precision.
bool IsOdbcLengthType(qint64 t) {
  switch (t) {
    case 1: case 12: case -1: case -8: case -9: case -10:  // (W)CHAR, (W)VARCHAR, (W)LONGVARCHAR
    case -2: case -3: case -4:                             // BINARY, VARBINARY, LONGVARBINARY
      return true;
    default:
      return false;
  }
}

bool IsOdbcExactType(qint64 t) { return t == 2 || t == 3; }  // NUMERIC, DECIMAL

QString ProcNameOf(const QString &odbcName) {
  // Some drivers append ";<number>" (the procedure group).
  const qsizetype semi = odbcName.lastIndexOf(QLatin1Char(';'));
  return semi > 0 ? odbcName.left(semi) : odbcName;
}

RowSetPtr OdbcMeta(Connection &c, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                   const QList<int> &kinds) {
  Builder b(kind);
  const bool tableLevel = IsTableLevel(kind);
  QString table = object, tableSchema = schema, tableCatalog;
  if (tableLevel) {
    auto t = Catalog(c, OdbcCatalogCall::Tables, schema, object, err);
    if (!t) return nullptr;
    qsizetype hit = -1;
    for (qsizetype r = 0; r < t->rowCount() && hit < 0; ++r)
      if (T(*t, r, 2) == object) hit = r;
    if (hit < 0) return NotFound(err, schema, object);
    tableCatalog = T(*t, hit, 0);
    tableSchema = T(*t, hit, 1);
  }
  auto base = [&](const QString &cat, const QString &sch) {
    b.set("CATALOG_NAME", cat).set("SCHEMA_NAME", sch);
    if (tableLevel) b.set("TABLE_NAME", table);
  };
  RowSetPtr rs;
  switch (kind) {
    case MetaKind::Catalogs:
    case MetaKind::Schemas: {
      const bool cats = kind == MetaKind::Catalogs;
      rs = Catalog(c, cats ? OdbcCatalogCall::Catalogs : OdbcCatalogCall::Schemas, QString(), QString(), err);
      if (!rs) return nullptr;
      QSet<QString> seen;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const QString name = T(*rs, r, cats ? 0 : 1);
        if (name.isEmpty() || seen.contains(name)) continue;
        seen.insert(name);
        if (cats) b.set("CATALOG_NAME", name);
        else base(T(*rs, r, 0), name);
        b.add();
      }
      break;
    }
    case MetaKind::Tables:
      rs = Catalog(c, OdbcCatalogCall::Tables, schema, QString(), err,
                   QStringLiteral("TABLE,VIEW,SYNONYM,GLOBAL TEMPORARY,LOCAL TEMPORARY"));
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const int tk = TableKindOfOdbc(T(*rs, r, 3));
        if (tk < 0 || !WantKind(kinds, tk)) continue;
        base(T(*rs, r, 0), T(*rs, r, 1));
        b.set("TABLE_NAME", T(*rs, r, 2)).set("TABLE_TYPE", tk).set("TABLE_SCOPE", 1);
        b.add();
      }
      break;
    case MetaKind::TableFields:
      rs = Catalog(c, OdbcCatalogCall::Columns, tableSchema, table, err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        if (T(*rs, r, 2) != table) continue;
        const qint64 sqlType = I(*rs, r, 4);
        QString tn = T(*rs, r, 5);
        qint64 size = I(*rs, r, 6), digits = I(*rs, r, 8);
        if (tn.contains(QLatin1Char('('))) {
          // Drivers over declared types (SQLite) give the declaration itself: its numbers are the truth.
          QList<int> nums;
          SplitDeclaredType(T(*rs, r, 5), &tn, &nums);
          if (!nums.isEmpty()) {
            size = nums.value(0);
            digits = nums.value(1);
          }
        }
        int attrs = 0;
        if (I(*rs, r, 10) != 0) attrs |= ColumnAttrNullable;  // SQL_NO_NULLS is 0
        if (rs->fieldCount() > 12 && !rs->isNull(r, 12)) attrs |= ColumnAttrDefault;
        base(T(*rs, r, 0), T(*rs, r, 1));
        const qint64 position = rs->fieldCount() > 16 ? I(*rs, r, 16) : r + 1;
        if (IsOdbcLengthType(sqlType))
          b.addColumn(T(*rs, r, 3), position, tn, attrs, 0, 0, size);
        else
          b.addColumn(T(*rs, r, 3), position, tn, attrs, size,
                      IsOdbcExactType(sqlType) || TypeOfName(tn) == FieldType::FMTBcd ? digits : 0, 0);
      }
      break;
    case MetaKind::Indexes:
    case MetaKind::PrimaryKey: {
      auto pk = Catalog(c, OdbcCatalogCall::PrimaryKeys, tableSchema, table, err);
      if (!pk) return nullptr;
      QString pkName;
      QStringList pkCols;
      for (qsizetype r = 0; r < pk->rowCount(); ++r) {
        pkCols << T(*pk, r, 3);
        if (pk->fieldCount() > 5 && pkName.isEmpty()) pkName = T(*pk, r, 5);
      }
      if (kind == MetaKind::PrimaryKey) {
        if (!pkCols.isEmpty()) {
          const QString n = pkName.isEmpty() ? QStringLiteral("PK_") + table : pkName;
          base(tableCatalog, tableSchema);
          b.addIndex(n, n, ikPrimaryKey);
        }
        break;
      }
      rs = Catalog(c, OdbcCatalogCall::Statistics, tableSchema, table, err);
      if (!rs) return nullptr;
      // One row per index column: gather the indexes in their order.
      QStringList order;
      QHash<QString, bool> unique;
      QHash<QString, QStringList> cols;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        if (I(*rs, r, 6) == 0) continue;  // SQL_TABLE_STAT
        const QString n = T(*rs, r, 5);
        if (n.isEmpty()) continue;
        if (!order.contains(n)) order << n;
        unique[n] = I(*rs, r, 3) == 0;
        cols[n] << T(*rs, r, 8);
      }
      for (const QString &n : order) {
        QStringList a = cols[n], p = pkCols;
        a.sort();
        p.sort();
        const bool isPk = (!pkName.isEmpty() && n == pkName) || (pkName.isEmpty() && unique[n] && a == p);
        const int ik = isPk ? ikPrimaryKey : unique[n] ? ikUnique : ikNonUnique;
        base(tableCatalog, tableSchema);
        b.addIndex(n, isPk && !pkName.isEmpty() ? pkName : QString(), ik);
      }
      break;
    }
    case MetaKind::ForeignKeys: {
      rs = Catalog(c, OdbcCatalogCall::ForeignKeys, tableSchema, table, err);
      if (!rs) return nullptr;
      QStringList seen;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        QString n = T(*rs, r, 11);
        if (n.isEmpty()) n = QStringLiteral("FK_%1_%2").arg(table, T(*rs, r, 2));
        if (seen.contains(n)) continue;
        seen << n;
        base(tableCatalog, tableSchema);
        b.addForeignKey(n, T(*rs, r, 0), T(*rs, r, 1), T(*rs, r, 2), RuleOfOdbc(rs->isNull(r, 10) ? 3 : I(*rs, r, 10)),
                        RuleOfOdbc(rs->isNull(r, 9) ? 3 : I(*rs, r, 9)));
      }
      break;
    }
    case MetaKind::Procs:
      rs = Catalog(c, OdbcCatalogCall::Procedures, schema, QString(), err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        base(T(*rs, r, 0), T(*rs, r, 1));
        b.set("PROC_NAME", ProcNameOf(T(*rs, r, 2)));
        b.set("PROC_TYPE", rs->fieldCount() > 7 && I(*rs, r, 7) == 2 ? pkFunction : pkProcedure).set("PROC_SCOPE", 1);
        b.add();
      }
      break;
    case MetaKind::ProcArgs: {
      auto p = Catalog(c, OdbcCatalogCall::Procedures, schema, object, err);
      if (!p) return nullptr;
      bool found = false;
      for (qsizetype r = 0; r < p->rowCount(); ++r)
        if (ProcNameOf(T(*p, r, 2)) == object) found = true;
      if (!found) return NotFound(err, schema, object);
      rs = Catalog(c, OdbcCatalogCall::ProcedureColumns, schema, object, err);
      if (!rs) return nullptr;
      for (qsizetype r = 0; r < rs->rowCount(); ++r) {
        const qint64 ct = I(*rs, r, 4);
        const int dir = ct == 1 ? pdInput : ct == 2 ? pdInputOutput : ct == 4 || ct == 3 ? pdOutput
                        : ct == 5 ? pdResult : pdUnknown;
        const qint64 sqlType = I(*rs, r, 5), size = I(*rs, r, 7), digits = I(*rs, r, 9);
        const QString tn = T(*rs, r, 6);
        base(T(*rs, r, 0), T(*rs, r, 1));
        b.set("PROC_NAME", object).set("PARAM_NAME", T(*rs, r, 3));
        b.set("PARAM_POSITION", rs->fieldCount() > 17 ? I(*rs, r, 17) : r + 1).set("PARAM_TYPE", dir);
        b.set("PARAM_DATATYPE", int(TypeOfName(tn))).set("PARAM_TYPENAME", tn);
        b.set("PARAM_ATTRIBUTES", I(*rs, r, 11) != 0 ? ColumnAttrNullable : 0);
        if (IsOdbcLengthType(sqlType)) b.set("PARAM_LENGTH", size);
        else b.set("PARAM_PRECISION", size).set("PARAM_SCALE", IsOdbcExactType(sqlType) ? digits : 0);
        b.add();
      }
      break;
    }
    case MetaKind::Generators:
      break;  // ODBC has no catalog function for sequences
  }
  return b.result();
}

bool Is(const QString &id, const char *name) { return id.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; }

}  // namespace

// ------------------------------------------------------------------------------------------ public API

QString TableKindName(int v) {
  static const char *n[] = {"Synonym", "Table", "View", "TempTable", "LocalTable"};
  return v >= 0 && v < 5 ? QString::fromLatin1(n[v]) : QString();
}
QString IndexKindName(int v) {
  static const char *n[] = {"NonUnique", "Unique", "PrimaryKey"};
  return v >= 0 && v < 3 ? QString::fromLatin1(n[v]) : QString();
}
QString CascadeRuleName(int v) {
  static const char *n[] = {"None", "Cascade", "Restrict", "SetNull", "SetDefault"};
  return v >= 0 && v < 5 ? QString::fromLatin1(n[v]) : QString();
}
QString ParamDirectionName(int v) {
  static const char *n[] = {"Unknown", "Input", "Output", "InputOutput", "Result"};
  return v >= 0 && v < 5 ? QString::fromLatin1(n[v]) : QString();
}

QStringList MetaColumns(MetaKind kind) {
  QStringList out;
  for (const ColSpec &c : SpecOf(kind)) out << QString::fromLatin1(c.name);
  return out;
}

RowSetPtr GetMetaInfo(Connection &conn, MetaKind kind, const QString &object, const QString &schema, DbError *err,
                      const QList<int> &tableKinds) {
  DbError local;
  DbError *e = err ? err : &local;
  e->clear();
  if (!conn.isOpen()) {
    SetErr(e, QStringLiteral("The connection is not open"));
    return nullptr;
  }
  const bool needsObject = IsTableLevel(kind) || kind == MetaKind::ProcArgs;
  if (needsObject && object.isEmpty()) return NotFound(e, schema, object);
  RowSetPtr rs;
  const QString id = conn.driverId();
  if (IsOdbcConnection(conn)) rs = OdbcMeta(conn, kind, object, schema, e, tableKinds);
  else if (Is(id, "PG")) rs = PgMeta(conn, object, schema, e).run(kind, tableKinds);
  else if (Is(id, "MySQL")) rs = MyMeta(conn, kind, object, schema, e, tableKinds);
  else if (Is(id, "SQLite")) rs = SqliteMeta(conn, kind, object, schema, e, tableKinds);
  else if (Is(id, "FB") || Is(id, "IB") || Is(id, "IBLite")) rs = FbMeta(conn, kind, object, schema, e, tableKinds);
  else {
    SetErr(e, QStringLiteral("Metadata of driver \"%1\" is not supported in this build").arg(id), 0,
           DbErrorKind::NotSupported);
    return nullptr;
  }
  if (!rs && !e->isError()) SetErr(e, QStringLiteral("The metadata request failed"));
  return rs;
}

QString UnquoteName(const QString &name) {
  QString s = name;
  if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"'))) s = s.mid(1, s.size() - 2);
  else if (s.startsWith(QLatin1Char('"'))) s = s.mid(1);
  s.replace(QLatin1String("\"\""), QLatin1String("\""));
  return s;
}

QString ConnectToMetaData(Connection &conn, MetaKind kind, const QString &object, const QString &schema,
                          RowSetPtr *out, const QList<int> &tableKinds) {
  if (out) out->reset();
  DbError err;
  RowSetPtr rs = GetMetaInfo(conn, kind, object, schema, &err, tableKinds);
  if (!rs) {
    if (err.code == ErrObjectNotFound && object.startsWith(QLatin1Char('"')))
      return ConnectToMetaData(conn, kind, UnquoteName(object), schema, out, tableKinds);
    return NormalizeErrorText(err.message);
  }
  if (out) *out = rs;
  return QString();
}

}  // namespace qrv::dal
