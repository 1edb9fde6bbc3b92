#include <gtest/gtest.h>

#include <QSet>
#include <QTemporaryDir>
#include <functional>

#include "dal/driver_firebird.h"
#include "dal/driver_mysql.h"
#include "dal/driver_odbc.h"
#include "dal/driver_pg.h"
#include "dal/driver_sqlite.h"
#include "dal/metadata.h"
#include "meta_fixtures.h"
#include "support/testsupport.h"

using namespace qrv::dal;
using qrvtest::ExecAll;
using qrvtest::ExecQuiet;
using qrvtest::QueryAll;

namespace {

// ------------------------------------------------------------------------------------ without a server

TEST(MetaColumns, EveryKindHasTheColumnsTheTreeReads) {
  const struct {
    MetaKind kind;
    QStringList read;
  } cases[] = {
      {MetaKind::Catalogs, {"catalog_name"}},
      {MetaKind::Schemas, {"schema_name"}},
      {MetaKind::Tables, {"TABLE_NAME", "TABLE_TYPE"}},
      {MetaKind::TableFields,
       {"column_name", "column_typename", "column_precision", "column_scale", "column_length", "COLUMN_ATTRIBUTES"}},
      {MetaKind::Indexes, {"INDEX_NAME", "INDEX_TYPE"}},
      {MetaKind::PrimaryKey, {"INDEX_NAME", "INDEX_TYPE"}},
      {MetaKind::ForeignKeys, {"FKEY_NAME", "PKEY_TABLE_NAME", "DELETE_RULE", "UPDATE_RULE"}},
      {MetaKind::Procs, {"PROC_NAME"}},
      {MetaKind::ProcArgs,
       {"PARAM_NAME", "PARAM_TYPENAME", "PARAM_PRECISION", "PARAM_SCALE", "PARAM_LENGTH", "PARAM_TYPE",
        "PARAM_ATTRIBUTES"}},
      {MetaKind::Generators, {"GENERATOR_NAME"}},
  };
  for (const auto &c : cases) {
    const QStringList cols = MetaColumns(c.kind);
    EXPECT_EQ(cols.value(0), "RECNO");
    for (const QString &r : c.read) EXPECT_TRUE(cols.contains(r, Qt::CaseInsensitive)) << r.toStdString();
    EXPECT_EQ(QSet<QString>(cols.begin(), cols.end()).size(), cols.size()) << "duplicate column";
  }
}

TEST(MetaValues, NamesOfTheValueSets) {
  EXPECT_EQ(QStringList({TableKindName(0), TableKindName(1), TableKindName(2), TableKindName(3), TableKindName(4)}),
            QStringList({"Synonym", "Table", "View", "TempTable", "LocalTable"}));
  EXPECT_EQ(QStringList({IndexKindName(0), IndexKindName(1), IndexKindName(2)}),
            QStringList({"NonUnique", "Unique", "PrimaryKey"}));
  EXPECT_EQ(QStringList({CascadeRuleName(0), CascadeRuleName(1), CascadeRuleName(2), CascadeRuleName(3),
                         CascadeRuleName(4)}),
            QStringList({"None", "Cascade", "Restrict", "SetNull", "SetDefault"}));
  EXPECT_EQ(QStringList({ParamDirectionName(0), ParamDirectionName(1), ParamDirectionName(2), ParamDirectionName(3),
                         ParamDirectionName(4)}),
            QStringList({"Unknown", "Input", "Output", "InputOutput", "Result"}));
  EXPECT_TRUE(TableKindName(5).isEmpty());
  EXPECT_TRUE(IndexKindName(-1).isEmpty());
}

TEST(MetaValues, UnquoteName) {
  const struct {
    const char *in, *out;
  } cases[] = {{"\"My Table\"", "My Table"}, {"\"a\"\"b\"", "a\"b"}, {"plain", "plain"}, {"\"\"", ""}};
  for (const auto &c : cases) EXPECT_EQ(UnquoteName(c.in), QString(c.out)) << c.in;
}

TEST(MetaRequest, ClosedConnectionAndUnsupportedDriverAreErrors) {
  auto conn = CreateFirebirdConnection("FB");
  DbError err;
  EXPECT_FALSE(GetMetaInfo(*conn, MetaKind::Tables, "", "", &err));
  EXPECT_TRUE(err.isError());
  RowSetPtr out;
  EXPECT_FALSE(ConnectToMetaData(*conn, MetaKind::Tables, "", "", &out).isEmpty());
  EXPECT_FALSE(out);
}

// An SQLite INTEGER PRIMARY KEY has no index: the primary-key request leans on the column list the
// connection read just before for the same table, but only while nothing has changed since, whether
// the change came through this connection, inside its transaction, or through another connection.
TEST(MetaRequest, SqliteRowIdKeyFollowsEveryChangeOfTheTable) {
  QTemporaryDir dir;
  ConnParams params;
  params.set("Database", dir.filePath("pk.db"));
  ConnectionPtr conn = CreateSqliteConnection(), other = CreateSqliteConnection();
  DbError err;
  ASSERT_TRUE(conn->open(params, &err) && other->open(params, &err)) << err.message.toStdString();
  auto run = [&](Connection &c, const char *sql) { ASSERT_TRUE(ExecAll(c, QString::fromUtf8(sql).split("; "))) << sql; };
  auto pkRows = [&] {
    RowSetPtr rs = GetMetaInfo(*conn, MetaKind::PrimaryKey, "t", "", &err);
    EXPECT_TRUE(rs) << err.message.toStdString();
    return rs ? rs->rowCount() : -1;
  };
  auto fieldsThenPk = [&] {
    EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err)) << err.message.toStdString();
    return pkRows();
  };
  run(*conn, "CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  EXPECT_EQ(fieldsThenPk(), 1);
  // Another connection replaces the table between the two requests.
  EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err));
  run(*other, "DROP TABLE t; CREATE TABLE t (id INTEGER, v TEXT)");
  EXPECT_EQ(pkRows(), 0);
  EXPECT_EQ(fieldsThenPk(), 0);
  // This connection does, in autocommit and inside a transaction of its own.
  EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err));
  run(*conn, "DROP TABLE t; CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  EXPECT_EQ(pkRows(), 1);
  run(*conn, "BEGIN");
  EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err));
  run(*conn, "DROP TABLE t; CREATE TABLE t (id INTEGER, v TEXT)");
  EXPECT_EQ(pkRows(), 0);
  run(*conn, "COMMIT");
  // A temporary table of the same name, made after the column list was read, comes first.
  run(*conn, "DROP TABLE t; CREATE TABLE t (id INTEGER PRIMARY KEY)");
  EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err));
  run(*conn, "CREATE TEMP TABLE t (id INTEGER)");
  EXPECT_EQ(pkRows(), 0);
  // The same connection opened again on another file with a table of the same name.
  EXPECT_TRUE(GetMetaInfo(*conn, MetaKind::TableFields, "t", "", &err));
  ConnParams second;
  second.set("Database", dir.filePath("pk2.db"));
  ASSERT_TRUE(conn->open(second, &err)) << err.message.toStdString();
  run(*conn, "CREATE TABLE t (id INTEGER, v TEXT)");
  EXPECT_EQ(pkRows(), 0);
}

// ------------------------------------------------------------------------------------- per system

// One fixture schema per system: a table whose name has a space with a composite primary key, a unique
// and a non-unique index; a table with a composite foreign key (ON DELETE CASCADE ON UPDATE SET NULL);
// a view; a routine with IN, OUT and INOUT (or IN and RETURNS) parameters; a sequence.
struct System {
  const char *name;
  std::function<ConnectionPtr(const QString &dir, ConnParams *)> make;
  QStringList setup;
  QString schema;  // asked for in the requests
  QString head, line, view, proc, seq;  // object names as the server keeps them
  // Column facts: name|typename|nullable(0/1)|precision|scale|length; typename "*" is not compared.
  QStringList fields;
  QStringList indexes;  // name|kind of the head table; "*" in a name: any text there
  QString pkName;
  QString fkey;         // name|pktable|delete|update; "*" as the name: not compared
  QStringList args;     // name|direction
  // The server's own catalog for the head table: rows column|nullable(0/1)|precision|scale|length for
  // the varchar and numeric columns.
  QString catalogSql;
};

const QString kPgSetup[] = {
    "DROP SCHEMA IF EXISTS qrv_meta CASCADE",
    "CREATE SCHEMA qrv_meta",
    "CREATE TABLE qrv_meta.\"order head\" (region INTEGER NOT NULL, id INTEGER NOT NULL, title VARCHAR(100) NOT "
    "NULL, note VARCHAR(100), amount NUMERIC(10,2), total NUMERIC(10,2) NOT NULL DEFAULT 0, body TEXT, CONSTRAINT "
    "pk_order_head PRIMARY KEY (region, id), CONSTRAINT uq_order_title UNIQUE (title))",
    "CREATE INDEX ix_order_amount ON qrv_meta.\"order head\" (amount)",
    "CREATE TABLE qrv_meta.order_line (line_id INTEGER NOT NULL PRIMARY KEY, region INTEGER, order_id INTEGER, "
    "CONSTRAINT fk_line_order FOREIGN KEY (region, order_id) REFERENCES qrv_meta.\"order head\" (region, id) ON "
    "DELETE CASCADE ON UPDATE SET NULL)",
    "CREATE VIEW qrv_meta.v_orders AS SELECT region, id, title FROM qrv_meta.\"order head\"",
    "CREATE SEQUENCE qrv_meta.seq_orders",
    "CREATE FUNCTION qrv_meta.f_args(IN a INTEGER, OUT b VARCHAR, INOUT c NUMERIC) AS $$ SELECT 'x'::varchar, c + a "
    "$$ LANGUAGE sql",
};

const QString kMySetup[] = {
    "DROP DATABASE IF EXISTS qrv_meta",
    "CREATE DATABASE qrv_meta",
    "CREATE TABLE qrv_meta.`order head` (region INTEGER NOT NULL, id INTEGER NOT NULL, title VARCHAR(100) NOT NULL, "
    "note VARCHAR(100), amount NUMERIC(10,2), total NUMERIC(10,2) NOT NULL DEFAULT 0, body LONGTEXT, CONSTRAINT "
    "pk_order_head PRIMARY KEY (region, id), CONSTRAINT uq_order_title UNIQUE (title)) ENGINE=InnoDB",
    "CREATE INDEX ix_order_amount ON qrv_meta.`order head` (amount)",
    "CREATE TABLE qrv_meta.order_line (line_id INTEGER NOT NULL PRIMARY KEY, region INTEGER, order_id INTEGER, "
    "CONSTRAINT fk_line_order FOREIGN KEY (region, order_id) REFERENCES qrv_meta.`order head` (region, id) ON "
    "DELETE CASCADE ON UPDATE SET NULL) ENGINE=InnoDB",
    "CREATE VIEW qrv_meta.v_orders AS SELECT region, id, title FROM qrv_meta.`order head`",
    "CREATE SEQUENCE qrv_meta.seq_orders",
    "CREATE PROCEDURE qrv_meta.p_args(IN a INT, OUT b VARCHAR(100), INOUT c DECIMAL(10,2)) BEGIN SET b = 'x'; SET c "
    "= c + a; END",
};

const QString kSqliteSetup[] = {
    "CREATE TABLE \"order head\" (region INTEGER NOT NULL, id INTEGER NOT NULL, title VARCHAR(100) NOT NULL, note "
    "VARCHAR(100), amount NUMERIC(10,2), total NUMERIC(10,2) NOT NULL DEFAULT 0, body TEXT, CONSTRAINT pk_order_head "
    "PRIMARY KEY (region, id), CONSTRAINT uq_order_title UNIQUE (title))",
    "CREATE INDEX ix_order_amount ON \"order head\" (amount)",
    "CREATE TABLE order_line (line_id INTEGER NOT NULL PRIMARY KEY, region INTEGER, order_id INTEGER, CONSTRAINT "
    "fk_line_order FOREIGN KEY (region, order_id) REFERENCES \"order head\" (region, id) ON DELETE CASCADE ON "
    "UPDATE SET NULL)",
    "CREATE VIEW v_orders AS SELECT region, id, title FROM \"order head\"",
};

const QString kFbSetup[] = {
    "CREATE TABLE \"QM ORDER HEAD\" (REGION INTEGER NOT NULL, ID INTEGER NOT NULL, TITLE VARCHAR(100) NOT NULL, "
    "NOTE VARCHAR(100), AMOUNT NUMERIC(10,2), TOTAL NUMERIC(10,2) DEFAULT 0 NOT NULL, BODY BLOB SUB_TYPE TEXT, "
    "CONSTRAINT PK_QM_ORDER_HEAD PRIMARY KEY (REGION, ID), CONSTRAINT UQ_QM_ORDER_TITLE UNIQUE (TITLE))",
    "CREATE INDEX IX_QM_ORDER_AMOUNT ON \"QM ORDER HEAD\" (AMOUNT)",
    "CREATE TABLE QM_ORDER_LINE (LINE_ID INTEGER NOT NULL PRIMARY KEY, REGION INTEGER, ORDER_ID INTEGER, CONSTRAINT "
    "FK_QM_LINE_ORDER FOREIGN KEY (REGION, ORDER_ID) REFERENCES \"QM ORDER HEAD\" (REGION, ID) ON DELETE CASCADE ON "
    "UPDATE SET NULL)",
    "CREATE VIEW QM_V_ORDERS AS SELECT REGION, ID, TITLE FROM \"QM ORDER HEAD\"",
    "CREATE SEQUENCE QM_SEQ",
    "CREATE PROCEDURE QM_P_ARGS (A INTEGER, C NUMERIC(10,2)) RETURNS (B VARCHAR(100), C_OUT NUMERIC(10,2)) AS BEGIN "
    "B = 'x'; C_OUT = C + A; END",
};
const QString kFbTeardown[] = {"DROP PROCEDURE QM_P_ARGS", "DROP SEQUENCE QM_SEQ", "DROP VIEW QM_V_ORDERS",
                               "DROP TABLE QM_ORDER_LINE", "DROP TABLE \"QM ORDER HEAD\""};

QStringList L(std::initializer_list<QString> l) { return QStringList(l); }
template <size_t N>
QStringList L(const QString (&a)[N]) {
  return QStringList(std::begin(a), std::end(a));
}

const QString kPgCatalog =
    "SELECT column_name, CASE WHEN is_nullable = 'YES' THEN 1 ELSE 0 END, COALESCE(numeric_precision, 0), "
    "COALESCE(numeric_scale, 0), COALESCE(character_maximum_length, 0) FROM information_schema.columns WHERE "
    "table_schema = 'qrv_meta' AND table_name = 'order head' AND data_type IN ('character varying', 'numeric') "
    "ORDER BY ordinal_position";
const QString kMyCatalog =
    "SELECT COLUMN_NAME, CASE WHEN IS_NULLABLE = 'YES' THEN 1 ELSE 0 END, COALESCE(NUMERIC_PRECISION, 0), "
    "COALESCE(NUMERIC_SCALE, 0), COALESCE(CHARACTER_MAXIMUM_LENGTH, 0) FROM information_schema.COLUMNS WHERE "
    "TABLE_SCHEMA = 'qrv_meta' AND TABLE_NAME = 'order head' AND DATA_TYPE IN ('varchar', 'decimal') ORDER BY "
    "ORDINAL_POSITION";
const QString kFbCatalog =
    "SELECT TRIM(rf.RDB$FIELD_NAME), CASE WHEN COALESCE(rf.RDB$NULL_FLAG, 0) = 0 THEN 1 ELSE 0 END, "
    "CASE WHEN f.RDB$FIELD_TYPE = 37 THEN 0 ELSE f.RDB$FIELD_PRECISION END, -f.RDB$FIELD_SCALE, "
    "CASE WHEN f.RDB$FIELD_TYPE = 37 THEN f.RDB$CHARACTER_LENGTH ELSE 0 END FROM RDB$RELATION_FIELDS rf JOIN "
    "RDB$FIELDS f ON f.RDB$FIELD_NAME = rf.RDB$FIELD_SOURCE WHERE rf.RDB$RELATION_NAME = 'QM ORDER HEAD' AND "
    "(f.RDB$FIELD_TYPE = 37 OR f.RDB$FIELD_SUB_TYPE = 1 AND f.RDB$FIELD_TYPE IN (7, 8, 16)) ORDER BY "
    "rf.RDB$FIELD_POSITION";
// SQLite keeps declared types only: the expected sizes as declared.
const QString kSqliteCatalog =
    "SELECT 'title', 0, 0, 0, 100 UNION ALL SELECT 'note', 1, 0, 0, 100 UNION ALL SELECT 'amount', 1, 10, 2, 0 "
    "UNION ALL SELECT 'total', 0, 10, 2, 0";

ConnectionPtr Open(ConnectionPtr c, const ConnParams &p, const char *what) {
  return qrvtest::OpenOrFail(std::move(c), p, what);
}

ConnParams SqliteFile(const QString &dir) {
  ConnParams p;
  p.set("Database", dir + "/meta.db");
  return p;
}

const QStringList kCommonFields = {
    "region|*|0|*|0|0", "id|*|0|*|0|0", "title|*|0|0|0|100", "note|*|1|0|0|100",
    "amount|*|1|10|2|0", "total|*|0|10|2|0",
};

std::vector<System> Systems() {
  std::vector<System> s;
  s.push_back({"PostgreSQL",
               [](const QString &, ConnParams *) { return Open(CreatePgConnection(), qrvtest::PgParams(), "PostgreSQL"); },
               L(kPgSetup), "qrv_meta", "order head", "order_line", "v_orders", "f_args", "seq_orders",
               {"region|integer|0|0|0|0", "id|integer|0|0|0|0", "title|character varying|0|0|0|100",
                "note|character varying|1|0|0|100", "amount|numeric|1|10|2|0", "total|numeric|0|10|2|0",
                "body|text|1|0|0|0"},
               {"pk_order_head|2", "uq_order_title|1", "ix_order_amount|0"}, "pk_order_head",
               "fk_line_order|order head|1|3", {"a|1", "b|2", "c|3"}, kPgCatalog});
  s.push_back({"MariaDB",
               [](const QString &, ConnParams *) { return Open(CreateMySqlConnection(), qrvtest::MyParams(), "MariaDB"); },
               L(kMySetup), "qrv_meta", "order head", "order_line", "v_orders", "p_args", "seq_orders",
               {"region|int|0|10|0|0", "id|int|0|10|0|0", "title|varchar|0|0|0|100", "note|varchar|1|0|0|100",
                "amount|decimal|1|10|2|0", "total|decimal|0|10|2|0", "body|longtext|1|0|0|2147483647"},
               {"PRIMARY|2", "uq_order_title|1", "ix_order_amount|0"}, "PRIMARY", "fk_line_order|order head|1|3",
               {"a|1", "b|2", "c|3"}, kMyCatalog});
  s.push_back({"SQLite",
               [](const QString &dir, ConnParams *) { return Open(CreateSqliteConnection(), SqliteFile(dir), "SQLite"); },
               L(kSqliteSetup), "", "order head", "order_line", "v_orders", "", "",
               {"region|INTEGER|0|0|0|0", "id|INTEGER|0|0|0|0", "title|VARCHAR|0|0|0|100", "note|VARCHAR|1|0|0|100",
                "amount|NUMERIC|1|10|2|0", "total|NUMERIC|0|10|2|0", "body|TEXT|1|0|0|0"},
               {"sqlite_autoindex_order head_1|2", "sqlite_autoindex_order head_2|1", "ix_order_amount|0"},
               "sqlite_autoindex_order head_1", "*|order head|1|3", {}, kSqliteCatalog});
  s.push_back({"Firebird",
               [](const QString &, ConnParams *) {
                 return Open(CreateFirebirdConnection("FB"), qrvtest::FirebirdParams(), "Firebird");
               },
               L(kFbSetup), "", "QM ORDER HEAD", "QM_ORDER_LINE", "QM_V_ORDERS", "QM_P_ARGS", "QM_SEQ",
               {"REGION|INTEGER|0|0|0|0", "ID|INTEGER|0|0|0|0", "TITLE|VARCHAR|0|0|0|100", "NOTE|VARCHAR|1|0|0|100",
                "AMOUNT|NUMERIC|1|10|2|0", "TOTAL|NUMERIC|0|10|2|0", "BODY|BLOB SUB_TYPE TEXT|1|0|0|0"},
               {"PK_QM_ORDER_HEAD|2", "UQ_QM_ORDER_TITLE|1", "IX_QM_ORDER_AMOUNT|0"}, "PK_QM_ORDER_HEAD",
               "FK_QM_LINE_ORDER|QM ORDER HEAD|1|3", {"A|1", "C|1", "B|2", "C_OUT|2"}, kFbCatalog});
  s.push_back({"ODBC-PostgreSQL",
               [](const QString &, ConnParams *) {
                 return Open(CreateOdbcConnection("ODBC"), qrvtest::OdbcPgParams(), "ODBC PostgreSQL");
               },
               L(kPgSetup), "qrv_meta", "order head", "order_line", "v_orders", "f_args", "",
               kCommonFields, {"pk_order_head|2", "uq_order_title|1", "ix_order_amount|0"}, "pk_order_head",
               "fk_line_order|order head|1|3", {"a|1", "b|2", "c|3"}, kPgCatalog});
  s.push_back({"ODBC-MariaDB",
               [](const QString &, ConnParams *) {
                 ConnParams p = qrvtest::OdbcMyParams();
                 p.set("Database", "qrv_test");
                 return Open(CreateOdbcConnection("ODBC"), p, "ODBC MariaDB");
               },
               L(kMySetup), "", "order head", "order_line", "v_orders", "p_args", "",
               kCommonFields, {"PRIMARY|2", "uq_order_title|1", "ix_order_amount|0"}, "PRIMARY",
               "fk_line_order|order head|1|3", {"a|1", "b|2", "c|3"}, kMyCatalog});
  s.push_back({"ODBC-SQLite",
               [](const QString &dir, ConnParams *) {
                 return Open(CreateOdbcConnection("ODBC"), qrvtest::OdbcSqliteParams(dir + "/meta.db"), "ODBC SQLite");
               },
               L(kSqliteSetup), "", "order head", "order_line", "v_orders", "", "",
               kCommonFields, {"*|2", "*|1", "ix_order_amount|0"}, "*", "*|order head|1|3", {}, kSqliteCatalog});
  return s;
}

class MetaTest : public ::testing::TestWithParam<System> {
 protected:
  void SetUp() override {
    const System &s = GetParam();
    ASSERT_TRUE(dir_.isValid());
    conn_ = s.make(dir_.path(), nullptr);
    ASSERT_TRUE(conn_);
    if (QString(s.name) == "Firebird") ExecQuiet(*conn_, L(kFbTeardown));
    if (QString(s.name) == "ODBC-MariaDB") {
      // The database qrv_meta is the schema of the MariaDB fixture: switch to it for the requests.
      ASSERT_TRUE(ExecAll(*conn_, s.setup));
      ASSERT_TRUE(ExecAll(*conn_, {"USE qrv_meta"}));
    } else {
      ASSERT_TRUE(ExecAll(*conn_, s.setup));
    }
  }
  void TearDown() override {
    if (conn_ && QString(GetParam().name) == "Firebird") ExecQuiet(*conn_, L(kFbTeardown));
  }
  RowSetPtr Meta(MetaKind kind, const QString &object = QString(), const QList<int> &kinds = {}) {
    DbError err;
    RowSetPtr rs = GetMetaInfo(*conn_, kind, object, GetParam().schema, &err, kinds);
    EXPECT_TRUE(rs) << "kind " << int(kind) << " " << object.toStdString() << ": " << err.message.toStdString();
    if (rs) EXPECT_EQ(rs->fields().size(), MetaColumns(kind).size());
    return rs;
  }
  QTemporaryDir dir_;
  ConnectionPtr conn_;
};

// "a|b" texts of the given columns, only of rows whose first column is among names (all when empty).
QStringList Rows(const RowSet &rs, const QStringList &cols) { return qrvtest::RowTexts(rs, cols); }

bool Matches(const QString &pattern, const QString &text) {
  const QStringList p = pattern.split('|'), t = text.split('|');
  if (p.size() != t.size()) return false;
  for (int i = 0; i < p.size(); ++i)
    if (p[i] != "*" && p[i] != t[i]) return false;
  return true;
}

void ExpectSameSet(const QStringList &expected, const QStringList &actual) {
  EXPECT_EQ(expected.size(), actual.size()) << actual.join(", ").toStdString();
  for (const QString &e : expected) {
    bool hit = false;
    for (const QString &a : actual) hit = hit || Matches(e, a);
    EXPECT_TRUE(hit) << e.toStdString() << " not in " << actual.join(", ").toStdString();
  }
}

TEST_P(MetaTest, TablesListsTablesAndViewsAndFiltersByKind) {
  const System &s = GetParam();
  auto rs = Meta(MetaKind::Tables);
  ASSERT_TRUE(rs);
  const QStringList all = Rows(*rs, {"TABLE_NAME", "TABLE_TYPE"});
  for (const QString &e : {s.head + "|1", s.line + "|1", s.view + "|2"})
    EXPECT_TRUE(all.contains(e)) << e.toStdString() << " not in " << all.join(", ").toStdString();
  for (qsizetype r = 0; r < rs->rowCount(); ++r) EXPECT_EQ(rs->intValue(r, 0), r + 1) << "RECNO";

  auto views = Meta(MetaKind::Tables, QString(), {tkView});
  ASSERT_TRUE(views);
  EXPECT_TRUE(Rows(*views, {"TABLE_NAME"}).contains(s.view));
  EXPECT_FALSE(Rows(*views, {"TABLE_NAME"}).contains(s.head));
  for (const QString &t : Rows(*views, {"TABLE_TYPE"})) EXPECT_EQ(t, "2");
}

TEST_P(MetaTest, FieldsAgreeWithTheServerCatalog) {
  const System &s = GetParam();
  auto rs = Meta(MetaKind::TableFields, s.head);
  ASSERT_TRUE(rs);
  QStringList actual;
  const int attrs = rs->fieldIndex("COLUMN_ATTRIBUTES");
  for (qsizetype r = 0; r < rs->rowCount(); ++r)
    actual << QStringList({rs->text(r, rs->fieldIndex("COLUMN_NAME")), rs->text(r, rs->fieldIndex("COLUMN_TYPENAME")),
                           (rs->intValue(r, attrs) & ColumnAttrNullable) ? "1" : "0",
                           rs->text(r, rs->fieldIndex("COLUMN_PRECISION")), rs->text(r, rs->fieldIndex("COLUMN_SCALE")),
                           rs->text(r, rs->fieldIndex("COLUMN_LENGTH"))})
                  .join('|');
  if (s.fields.size() == 7) {
    EXPECT_EQ(actual, s.fields);
  } else {
    ASSERT_EQ(actual.size(), 7) << actual.join(", ").toStdString();
    for (int i = 0; i < s.fields.size(); ++i)
      EXPECT_TRUE(Matches(s.fields[i], actual[i])) << s.fields[i].toStdString() << " vs " << actual[i].toStdString();
  }
  // The server's own catalog says the same about nullability and sizes.
  DbError err;
  auto cat = QueryAll(*conn_, s.catalogSql, &err);
  ASSERT_TRUE(cat) << err.message.toStdString();
  ASSERT_EQ(cat->rowCount(), 4);
  for (qsizetype r = 0; r < cat->rowCount(); ++r) {
    const QString col = cat->text(r, 0);
    const QString want = QStringList({col, cat->text(r, 1), cat->text(r, 2), cat->text(r, 3), cat->text(r, 4)}).join('|');
    bool hit = false;
    for (const QString &a : actual) {
      QStringList p = a.split('|');
      p.removeAt(1);
      if (p.join('|') == want) hit = true;
    }
    EXPECT_TRUE(hit) << want.toStdString() << " not in " << actual.join(", ").toStdString();
  }
}

TEST_P(MetaTest, IndexesAndKeys) {
  const System &s = GetParam();
  auto ix = Meta(MetaKind::Indexes, s.head);
  ASSERT_TRUE(ix);
  ExpectSameSet(s.indexes, Rows(*ix, {"INDEX_NAME", "INDEX_TYPE"}));

  auto pk = Meta(MetaKind::PrimaryKey, s.head);
  ASSERT_TRUE(pk);
  ExpectSameSet({s.pkName + "|2"}, Rows(*pk, {"INDEX_NAME", "INDEX_TYPE"}));

  auto fk = Meta(MetaKind::ForeignKeys, s.line);
  ASSERT_TRUE(fk);
  ExpectSameSet({s.fkey}, Rows(*fk, {"FKEY_NAME", "PKEY_TABLE_NAME", "DELETE_RULE", "UPDATE_RULE"}));
  auto none = Meta(MetaKind::ForeignKeys, s.head);
  ASSERT_TRUE(none);
  EXPECT_EQ(none->rowCount(), 0);
}

TEST_P(MetaTest, ProceduresArgumentsAndGenerators) {
  const System &s = GetParam();
  auto procs = Meta(MetaKind::Procs);
  ASSERT_TRUE(procs);
  if (!s.proc.isEmpty()) {
    EXPECT_TRUE(Rows(*procs, {"PROC_NAME"}).contains(s.proc)) << Rows(*procs, {"PROC_NAME"}).join(",").toStdString();
    auto args = Meta(MetaKind::ProcArgs, s.proc);
    ASSERT_TRUE(args);
    QStringList got = Rows(*args, {"PARAM_NAME", "PARAM_TYPE"});
    got.removeIf([](const QString &r) { return r.endsWith("|4"); });  // a driver's return-value row
    ExpectSameSet(s.args, got);
  } else {
    EXPECT_EQ(procs->rowCount(), 0);
  }
  auto gens = Meta(MetaKind::Generators);
  ASSERT_TRUE(gens);
  if (!s.seq.isEmpty()) EXPECT_TRUE(Rows(*gens, {"GENERATOR_NAME"}).contains(s.seq));
  else EXPECT_EQ(gens->rowCount(), 0);
}

TEST_P(MetaTest, MissingObjectsAndTheQuotedRetry) {
  const System &s = GetParam();
  // Names with quotes and backslashes are looked up as names, never run as SQL.
  for (const QString &name : {QString("no_such_object"), QString("it's\\' OR '1'='1"), QString("x\\")}) {
    for (MetaKind k : {MetaKind::TableFields, MetaKind::Indexes, MetaKind::PrimaryKey, MetaKind::ForeignKeys,
                       MetaKind::ProcArgs}) {
      DbError err;
      EXPECT_FALSE(GetMetaInfo(*conn_, k, name, s.schema, &err)) << int(k);
      EXPECT_EQ(err.code, ErrObjectNotFound) << int(k) << " " << err.message.toStdString();
      EXPECT_EQ(err.kind, DbErrorKind::ObjectNotFound);
    }
  }
  // A double-quoted name is found on the second try, unquoted.
  RowSetPtr out;
  EXPECT_EQ(ConnectToMetaData(*conn_, MetaKind::TableFields, "\"" + s.head + "\"", s.schema, &out), QString());
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rowCount(), 7);
  // Quotes inside quotes come off one level per try.
  EXPECT_EQ(ConnectToMetaData(*conn_, MetaKind::Indexes, "\"\"\"" + s.head + "\"\"\"", s.schema, &out), QString());
  ASSERT_TRUE(out);
  EXPECT_EQ(out->rowCount(), s.indexes.size());
  // Without quotes there is no retry: the error text comes back.
  const QString text = ConnectToMetaData(*conn_, MetaKind::TableFields, "no_such_object", s.schema, &out);
  EXPECT_TRUE(text.contains("no_such_object")) << text.toStdString();
  EXPECT_FALSE(out);
}

INSTANTIATE_TEST_SUITE_P(Systems, MetaTest, ::testing::ValuesIn(Systems()), [](const auto &info) {
  QString n = info.param.name;
  return n.remove('-').toStdString();
});

}  // namespace
