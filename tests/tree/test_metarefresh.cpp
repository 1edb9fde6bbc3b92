// The generic metadata walk and the refresh of a tree item: item texts, category rows, the level
// rules, metadata errors, and the refresh job on its worker thread; over SQLite files and a scripted
// metadata source.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>

#include "dal/drivertable.h"
#include "metarefresh_fixture.h"
#include "tree/metarefresh.h"
#include "tree/treerefresh.h"

using namespace qrv;
using qrvtest::TreeRow;

namespace {

// ---- Texts ----

TEST(MetaTexts, SizeText) {
  struct Case {
    const char *prec, *scale, *len, *want;
  } cases[] = {
      {"0", "0", "50", "(50)"},        {"10", "2", "0", "(10,2)"},     {"10", "0", "0", "(10)"},
      {"", "", "100", "(100)"},        {"0", "0", "0", ""},            {"", "", "", ""},
      {"0", "0", "2147483647", "(MAX)"}, {"10", "0", "20", "(10,0,20)"}, {"0", "2", "0", "(2)"},
      {"18", "4", "2147483647", "(18,4,MAX)"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(MetaSizeText(c.prec, c.scale, c.len), QString::fromLatin1(c.want)) << c.prec << "," << c.scale << "," << c.len;
}

TEST(MetaTexts, SplitItemAndSchemaName) {
  EXPECT_EQ(SplitMetaItem("c (INT, null)").name, "c");
  EXPECT_EQ(SplitMetaItem("c (INT, null)").info, " (INT, null)");
  EXPECT_EQ(SplitMetaItem("my col").name, "my col");
  EXPECT_EQ(SplitMetaItem("my col").info, "");
  EXPECT_EQ(SplitMetaItem("a (b) (c)").info, " (b) (c)");

  EXPECT_EQ(MetaSchemaName("SQLite > c > d > main > Tables > "), "main");
  EXPECT_EQ(MetaSchemaName("SQLite > c > d > no_schema > Tables > t"), "");
  EXPECT_EQ(MetaSchemaName("NO_SCHEMA"), "");
  EXPECT_EQ(MetaSchemaName("public"), "public");
}

// ---- SQLite ----

class SqliteRefresh : public qrvtest::RefreshFixture {
 protected:
  void SetUp() override {
    RefreshFixture::SetUp();
    liteFile = dir + "meta lite.db";
    defineConnections(QStringLiteral("[lite1]\nDriverID=SQLite\nDatabase=%1\n"
                                     "[lite_hidden]\nDriverID=SQLite\nDatabase=%2\nLoadToTree=0\n"
                                     "[lite_bad]\nDriverID=SQLite\nDatabase=%3\n")
                          .arg(liteFile, dir + "hidden.db", dir + "no/such/folder/x.db"));
    serverExec("lite1", QString(),
               {"CREATE TABLE mr_parent (id INTEGER PRIMARY KEY, title VARCHAR(100) NOT NULL)",
                "CREATE TABLE \"mr child table\" (id INTEGER PRIMARY KEY, parent_id INTEGER REFERENCES mr_parent(id) "
                "ON DELETE CASCADE, price DECIMAL(10,2), qty NUMERIC(10), note TEXT)",
                "CREATE INDEX mr_idx_price ON \"mr child table\"(price)",
                "CREATE VIEW mr_view AS SELECT id, title FROM mr_parent"});
    serverExec("lite_hidden", QString(), {"CREATE TABLE hidden_t (a INT)"});
  }
  QString liteFile;
};

TEST_F(SqliteRefresh, RdbmsLevelReadsEveryConnectionAndKeepsOthers) {
  // Stale rows under the RDBMS go; rows of other systems stay.
  store->AppendRecordToTree("old db", "SQLite > lite1 > old db", true, TreeKind::Database, 2, false, "");
  store->AppendRecordToTree("lite_hidden", "SQLite > lite_hidden", true, TreeKind::Connection, 1, true, "");
  store->AppendRecordToTree("PostgreSQL", "PostgreSQL", true, TreeKind::Rdbms, 0, true, "");
  store->AppendRecordToTree("pgc", "PostgreSQL > pgc", true, TreeKind::Connection, 1, true, "");

  const QString err = RefreshTreeItem(ctx, "sqlite");
  EXPECT_TRUE(err.startsWith("Could not establish connection \"lite_bad\":\r\n")) << err.toStdString();
  EXPECT_FALSE(err.contains("lite1")) << err.toStdString();

  const QString db = "SQLite > lite1 > " + liteFile;
  const QString schema = db + " > NO_SCHEMA";
  const QString child = schema + " > Tables > mr child table";
  expectRow("SQLite", TreeKind::Rdbms);
  expectRow("SQLite > lite1", TreeKind::Connection);
  expectRow(db, TreeKind::Database);  // no catalogs: named after the definition's Database
  expectRow(schema, TreeKind::Schema);
  expectRow(schema + " > Tables", TreeKind::Category, " (2)");
  expectRow(schema + " > Views", TreeKind::Category, " (1)");
  expectRow(schema + " > Procedures / Functions", TreeKind::Category, " (0)");
  expectRow(schema + " > Generators / Sequences", TreeKind::Category, " (0)");
  expectRow(schema + " > Views > mr_view", TreeKind::Table);
  expectRow(child, TreeKind::Table);
  expectRow(child + " > Columns", TreeKind::Category, " (5)");
  expectRow(child + " > Columns > price", TreeKind::Column, " (DECIMAL(10,2), null)");
  expectRow(child + " > Columns > qty", TreeKind::Column, " (NUMERIC(10), null)");
  expectRow(child + " > Columns > note", TreeKind::Column, " (TEXT, null)");
  expectRow(schema + " > Tables > mr_parent > Columns > title", TreeKind::Column, " (VARCHAR(100), not null)");
  expectRow(child + " > Indexes", TreeKind::Category, " (1)");
  expectRow(child + " > Indexes > mr_idx_price", TreeKind::Column, " (NonUnique)");
  expectRow(child + " > Keys", TreeKind::Category, "");
  expectRow(child + " > Keys > PK_mr child table (PrimaryKey)", TreeKind::Column, "");
  expectRow(child + " > Keys > FK_mr child table_1 (mr_parent, DEL: Cascade, UPD: None)", TreeKind::Column, "");

  // Shown: RDBMS, connections and databases; everything below hidden and collapsed.
  const auto all = rows("SQLite");
  for (auto it = all.begin(); it != all.end(); ++it) {
    EXPECT_EQ(it->visible, it->level <= 2 ? 1 : 0) << it.key().toStdString();
    EXPECT_EQ(it->expanded, it->level <= 1 ? 1 : 0) << it.key().toStdString();
  }
  EXPECT_FALSE(all.contains("SQLite > lite1 > old db"));
  EXPECT_FALSE(all.contains("SQLite > lite_hidden")) << "LoadToTree=0 gives no row";
  // The connection that failed keeps its row, without children.
  ASSERT_TRUE(all.contains("SQLite > lite_bad"));
  EXPECT_EQ(rows("SQLite > lite_bad > ").size(), 0);
  EXPECT_EQ(rows("PostgreSQL").size(), 2);
}

// Each level refreshes its item's subtree and nothing else.
TEST_F(SqliteRefresh, ItemLevelsReplaceOnlyTheirSubtree) {
  const QString db = "SQLite > lite1 > " + liteFile;
  const QString schema = db + " > NO_SCHEMA";
  const QString parent = schema + " > Tables > mr_parent";
  struct Case {
    QString item;         // refreshed item
    QString staleInside;  // a row below the refreshed subtree: removed
    QString outside;      // a row beside it: kept
    QString expected;     // a row the refresh writes
  } cases[] = {
      {"SQLite > lite1", "SQLite > lite1 > stale db", "SQLite > lite_other", schema + " > Tables"},
      {db, db + " > stale_schema", "SQLite > lite1 > other db", parent + " > Columns > title"},
      {schema, schema + " > Tables > stale_t", db + " > other_schema", schema + " > Views > mr_view"},
      {schema + " > Tables", schema + " > Sequences", db + " > other_schema", parent + " > Keys"},
      {parent, parent + " > Columns > stale_col", schema + " > Tables > stale_t", parent + " > Columns > title"},
      {parent + " > Columns > title", parent + " > Indexes > stale_ix", schema + " > Tables > stale_t",
       parent + " > Keys > PK_mr_parent (PrimaryKey)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.item.toStdString());
    ASSERT_EQ(ctx.ExecIntQuery("DELETE FROM Tree"), QString());
    ASSERT_EQ(RefreshTreeItem(ctx, db), QString());
    for (const QString &r : {c.staleInside, c.outside})
      store->AppendRecordToTree(r.section(" > ", -1), r, false, TreeKind::Table, TreeLevelOf(r), false, "");

    EXPECT_EQ(RefreshTreeItem(ctx, c.item), QString());
    const auto all = rows();
    EXPECT_FALSE(all.contains(c.staleInside));
    EXPECT_TRUE(all.contains(c.outside));
    EXPECT_TRUE(all.contains(c.expected));
    // The refreshed level's own row is shown and collapsed (a connection stays expanded).
    const QString refreshed = CutIdToLevel(c.item, qMin(TreeLevelOf(c.item), TreeLevelOf(c.item) >= 5 ? 5 : 3));
    const QString own = TreeLevelOf(c.item) <= 2 ? c.item : refreshed;
    ASSERT_TRUE(all.contains(own)) << own.toStdString();
    EXPECT_EQ(all[own].visible, 1);
    EXPECT_EQ(all[own].expanded, TreeLevelOf(own) == 1 ? 1 : 0);
  }
}

TEST_F(SqliteRefresh, UnreachableConnectionLeavesRowWithoutChildren) {
  ASSERT_EQ(RefreshTreeItem(ctx, "SQLite > lite1"), QString());
  const auto before = rows("SQLite > lite1");
  store->AppendRecordToTree("old", "SQLite > lite_bad > old", true, TreeKind::Database, 2, false, "");

  const QString err = RefreshTreeItem(ctx, "SQLite > lite_bad");
  EXPECT_TRUE(err.startsWith("Could not establish connection \"lite_bad\":\r\n")) << err.toStdString();
  EXPECT_TRUE(err.contains("x.db")) << err.toStdString();
  EXPECT_TRUE(rows("SQLite > lite_bad").contains("SQLite > lite_bad"));
  EXPECT_EQ(rows("SQLite > lite_bad > ").size(), 0);
  EXPECT_EQ(rows("SQLite > lite1").keys(), before.keys());
}

// The refresh job: its own server connection and its own connection to qrv.db, in WAL mode, the result
// handed back on the window thread while this thread's connection keeps reading.
TEST_F(SqliteRefresh, JobRunsOnWorkerAndReportsBack) {
  TreeRefreshJob job;
  QSignalSpy spy(&job, &TreeRefreshJob::finished);
  TreeRefreshJob::Options o;
  o.manager = &manager;
  o.localDbPath = dbPath;
  o.settingsDir = dir;
  ASSERT_TRUE(job.start(o, "SQLite"));
  EXPECT_TRUE(job.isRunning());
  EXPECT_FALSE(job.start(o, "SQLite > lite1")) << "one refresh at a time";
  EXPECT_GE(rows().size(), 0);  // reading while the worker writes does not block or fail
  ASSERT_TRUE(spy.wait(120000));
  EXPECT_FALSE(job.isRunning());
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0][0].toString(), "SQLite");
  EXPECT_TRUE(spy[0][1].toString().startsWith("Could not establish connection \"lite_bad\"")) << spy[0][1].toString().toStdString();

  const QString title = "SQLite > lite1 > " + liteFile + " > NO_SCHEMA > Tables > mr_parent > Columns > title";
  EXPECT_TRUE(rows().contains(title));
  sqlite3_stmt *st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)), "wal");
  sqlite3_finalize(st);

  // A local database that cannot be opened is reported, not crashed on.
  o.localDbPath = dir + "missing/folder/qrv.db";
  ASSERT_TRUE(job.start(o, "SQLite"));
  ASSERT_TRUE(spy.wait(60000));
  EXPECT_TRUE(spy[1][1].toString().startsWith("Could not open the local database")) << spy[1][1].toString().toStdString();
}

// ---- A scripted metadata source ----

struct MetaReq {
  dal::MetaKind kind;
  QString object, schema;
};

struct Script {
  QList<MetaReq> asked;
  // (kind, object) -> rows; an entry in errors fails that request.
  QMap<QPair<int, QString>, dal::RowSetPtr> results;
  QMap<QPair<int, QString>, QString> errors;
};
Script *gScript = nullptr;

QString scriptedOpen(dal::Connection &, dal::MetaKind kind, const QString &object, const QString &schema,
                     dal::RowSetPtr *out) {
  gScript->asked.append(MetaReq{kind, object, schema});
  const QPair<int, QString> key(int(kind), object);
  if (gScript->errors.contains(key)) return gScript->errors[key];
  *out = gScript->results.value(key, std::make_shared<dal::RowSet>());
  return QString();
}

// A row set: columns "NAME" (text) or "NAME:i" (integer); each row one value per column ("" is NULL).
dal::RowSetPtr makeRows(const QStringList &cols, const QList<QStringList> &rowValues) {
  dal::FieldDefs defs;
  for (const QString &c : cols) {
    dal::FieldDef f;
    f.name = c.section(':', 0, 0);
    f.type = c.endsWith(":i") ? dal::FieldType::Integer : dal::FieldType::WideString;
    defs << f;
  }
  auto rs = std::make_shared<dal::RowSet>(defs);
  for (const QStringList &row : rowValues) {
    for (int i = 0; i < cols.size(); ++i) {
      if (row[i].isEmpty()) rs->appendNull(i);
      else if (cols[i].endsWith(":i")) rs->appendInt(i, row[i].toLongLong());
      else rs->appendText(i, row[i]);
    }
    rs->endRow();
  }
  return rs;
}

class ScriptedRefresh : public SqliteRefresh {
 protected:
  void SetUp() override {
    SqliteRefresh::SetUp();
    ASSERT_EQ(ctx.ReConnect("SQLite", "lite1", QString()), QString());
    old = MetaDataOpen;
    MetaDataOpen = scriptedOpen;
    gScript = &script;
  }
  void TearDown() override {
    MetaDataOpen = old;
    gScript = nullptr;
    SqliteRefresh::TearDown();
  }
  void set(dal::MetaKind kind, const QString &object, dal::RowSetPtr rs) { script.results[{int(kind), object}] = rs; }
  void fail(dal::MetaKind kind, const QString &object, const QString &err) { script.errors[{int(kind), object}] = err; }

  Script script;
  MetaDataOpenFn old = nullptr;
};

TEST_F(ScriptedRefresh, SchemaItemsTextsAndCounts) {
  using K = dal::MetaKind;
  set(K::Tables, "", makeRows({"TABLE_NAME", "TABLE_TYPE:i"},
                             {{"t1", "1"}, {"syn1", "0"}, {"v1", "2"}, {"tmp1", "3"}, {"", "1"}}));
  const QStringList fieldCols{"COLUMN_NAME", "COLUMN_TYPENAME", "COLUMN_PRECISION:i", "COLUMN_SCALE:i",
                              "COLUMN_LENGTH:i", "COLUMN_ATTRIBUTES:i"};
  set(K::TableFields, "t1", makeRows(fieldCols, {{"c_max", "nvarchar", "0", "0", "2147483647", "2"},
                                                {"c_num", "numeric", "10", "2", "0", "0"},
                                                {"c_plain", "int", "", "", "", "0"}}));
  set(K::TableFields, "syn1", makeRows(fieldCols, {{"s", "int", "10", "0", "0", "2"}}));
  set(K::Indexes, "t1", makeRows({"INDEX_NAME", "INDEX_TYPE:i"}, {{"ix_a", "0"}, {"ux_b", "1"}}));
  set(K::PrimaryKey, "t1", makeRows({"INDEX_NAME", "INDEX_TYPE:i"}, {{"pk_t1", "2"}}));
  set(K::ForeignKeys, "t1", makeRows({"FKEY_NAME", "PKEY_TABLE_NAME", "DELETE_RULE:i", "UPDATE_RULE:i"},
                                     {{"fk_t1_p", "parent", "1", "0"}, {"fk_bad", "parent", "", "0"}}));
  set(K::Procs, "", makeRows({"PROC_NAME"}, {{"p1"}}));
  set(K::ProcArgs, "p1", makeRows({"PARAM_NAME", "PARAM_TYPENAME", "PARAM_PRECISION:i", "PARAM_SCALE:i",
                                   "PARAM_LENGTH:i", "PARAM_TYPE:i", "PARAM_ATTRIBUTES:i"},
                                  {{"a", "integer", "", "", "", "1", "2"}, {"r", "varchar", "0", "0", "20", "2", "0"}}));
  set(K::Generators, "", makeRows({"GENERATOR_NAME"}, {{"g1"}, {"g2"}}));
  fail(K::TableFields, "v1", "[FireDAC][Phys] view v1 is broken");

  const QString s = "SQLite > lite1 > d > s1";
  const QString err = FillTree_Schema(ctx, "SQLite > lite1 > d > ", "s1", true, true, false);

  // The failed request is reported, cleaned, and its level is skipped: no item carries the text.
  EXPECT_EQ(err, " view v1 is broken");
  const auto all = rows(s);
  for (auto it = all.begin(); it != all.end(); ++it) EXPECT_FALSE(it->name.contains("broken")) << it.key().toStdString();
  EXPECT_FALSE(all.contains(s + " > Views > v1 > Columns"));
  expectRow(s + " > Views > v1 > Indexes", TreeKind::Category, " (0)");

  expectRow(s, TreeKind::Schema);
  EXPECT_EQ(all[s].visible, 1);
  expectRow(s + " > Tables", TreeKind::Category, " (3)");
  expectRow(s + " > Views", TreeKind::Category, " (1)");
  expectRow(s + " > Tables > t1", TreeKind::Table);
  expectRow(s + " > Tables > syn1 (Synonym)", TreeKind::Table);
  expectRow(s + " > Tables > tmp1 (TempTable)", TreeKind::Table);
  expectRow(s + " > Views > v1", TreeKind::Table);
  const QString t1 = s + " > Tables > t1";
  expectRow(t1 + " > Columns", TreeKind::Category, " (3)");
  expectRow(t1 + " > Columns > c_max", TreeKind::Column, " (nvarchar(MAX), null)");
  expectRow(t1 + " > Columns > c_num", TreeKind::Column, " (numeric(10,2), not null)");
  expectRow(t1 + " > Columns > c_plain", TreeKind::Column, " (int, not null)");
  expectRow(t1 + " > Indexes", TreeKind::Category, " (2)");
  expectRow(t1 + " > Indexes > ix_a", TreeKind::Column, " (NonUnique)");
  expectRow(t1 + " > Indexes > ux_b", TreeKind::Column, " (Unique)");
  expectRow(t1 + " > Keys", TreeKind::Category, "");
  expectRow(t1 + " > Keys > pk_t1 (PrimaryKey)", TreeKind::Column, "");
  expectRow(t1 + " > Keys > fk_t1_p (parent, DEL: Cascade, UPD: None)", TreeKind::Column, "");
  EXPECT_EQ(rows(t1 + " > Keys > ").size(), 2) << "a key row without its rule is skipped";
  expectRow(s + " > Tables > syn1 (Synonym) > Columns > s", TreeKind::Column, " (int(10), null)");
  expectRow(s + " > Procedures / Functions", TreeKind::Category, " (1)");
  expectRow(s + " > Procedures / Functions > p1", TreeKind::Routine);
  expectRow(s + " > Procedures / Functions > p1 > Parameters", TreeKind::Category, " (2)");
  expectRow(s + " > Procedures / Functions > p1 > Parameters > a", TreeKind::Column, " (integer, Input, null)");
  expectRow(s + " > Procedures / Functions > p1 > Parameters > r", TreeKind::Column, " (varchar(20), Output, not null)");
  expectRow(s + " > Generators / Sequences", TreeKind::Category, " (2)");
  expectRow(s + " > Generators / Sequences > g2", TreeKind::Sequence);
  EXPECT_EQ(all[s + " > Generators / Sequences > g2"].visible, 0);

  // Every request names the schema; the synonym's details are asked for by its bare name.
  bool askedSyn = false;
  for (const MetaReq &r : script.asked) {
    EXPECT_EQ(r.schema, "s1");
    EXPECT_NE(r.object, "syn1 (Synonym)");
    askedSyn = askedSyn || (r.kind == K::TableFields && r.object == "syn1");
  }
  EXPECT_TRUE(askedSyn);
}

TEST_F(ScriptedRefresh, FailedListsAreReportedAndSkipped) {
  using K = dal::MetaKind;
  // A database whose schema list fails keeps its row and gets no schema rows.
  fail(K::Schemas, "", "schemas refused");
  EXPECT_EQ(FillTree_DB(ctx, "SQLite > lite1 > ", "d1", false, true, false), "schemas refused");
  expectRow("SQLite > lite1 > d1", TreeKind::Database);
  EXPECT_EQ(rows("SQLite > lite1 > d1 > ").size(), 0);

  // A schema whose table list fails has no Tables and Views, but its other categories; "NO_SCHEMA" is
  // asked for with an empty schema name.
  fail(K::Tables, "", "tables refused");
  set(K::Procs, "", makeRows({"PROC_NAME"}, {{"p1"}}));
  script.asked.clear();
  EXPECT_EQ(FillTree_Schema(ctx, "SQLite > lite1 > d1 > ", "NO_SCHEMA", false, false, false), "tables refused");
  const QString s = "SQLite > lite1 > d1 > NO_SCHEMA";
  EXPECT_FALSE(rows(s).contains(s + " > Tables"));
  EXPECT_FALSE(rows(s).contains(s + " > Views"));
  expectRow(s + " > Procedures / Functions > p1 > Parameters", TreeKind::Category, " (0)");
  ASSERT_FALSE(script.asked.isEmpty());
  for (const MetaReq &r : script.asked) EXPECT_EQ(r.schema, "");

  // The errors of several objects are all reported, each once.
  fail(K::Procs, "", "procs refused");
  fail(K::Generators, "", "procs refused");
  EXPECT_EQ(FillTree_Schema(ctx, "SQLite > lite1 > d1 > ", "x", false, false, false),
            "tables refused\r\nprocs refused");
}

// Catalogs come back as one comma-separated list: a name with a space stays one database; without
// catalogs and without a Database parameter the database is "NO_DB_NAME"; without schemas a database
// gets the one schema "NO_SCHEMA".
TEST_F(ScriptedRefresh, CatalogAndSchemaLists) {
  using K = dal::MetaKind;
  set(K::Catalogs, "", makeRows({"CATALOG_NAME"}, {{"cat one"}, {"cat2"}}));
  set(K::Schemas, "", makeRows({"SCHEMA_NAME"}, {}));
  EXPECT_EQ(FillTree_Conn(ctx, "SQLite > ", "lite1", true, true, true), QString());
  expectRow("SQLite > lite1 > cat one", TreeKind::Database);
  expectRow("SQLite > lite1 > cat2", TreeKind::Database);
  expectRow("SQLite > lite1 > cat one > NO_SCHEMA", TreeKind::Schema);
  EXPECT_EQ(rows("SQLite > lite1 > ").size(), rows("SQLite > lite1 > cat one").size() * 2);

  set(K::Schemas, "", makeRows({"SCHEMA_NAME"}, {{"s a"}, {"s2"}}));
  EXPECT_EQ(FillTree_DB(ctx, "SQLite > lite1 > ", "cat2", true, true, false), QString());
  expectRow("SQLite > lite1 > cat2 > s a", TreeKind::Schema);
  expectRow("SQLite > lite1 > cat2 > s2", TreeKind::Schema);
  EXPECT_FALSE(rows("SQLite > lite1 > cat2").contains("SQLite > lite1 > cat2 > NO_SCHEMA"));

  // No catalogs: the Database parameter, or NO_DB_NAME without one.
  set(K::Catalogs, "", makeRows({"CATALOG_NAME"}, {}));
  defineConnections(QStringLiteral("[lite1]\nDriverID=SQLite\nDatabase=%1\n[nodb]\nDriverID=SQLite\n").arg(liteFile));
  ASSERT_EQ(ctx.ExecIntQuery("DELETE FROM Tree"), QString());
  EXPECT_EQ(FillTree_Conn(ctx, "SQLite > ", "lite1", true, true, true), QString());
  EXPECT_EQ(FillTree_Conn(ctx, "SQLite > ", "nodb", true, true, true), QString());
  expectRow("SQLite > lite1 > " + liteFile, TreeKind::Database);
  expectRow("SQLite > nodb > NO_DB_NAME", TreeKind::Database);
  expectRow("SQLite > nodb > NO_DB_NAME > s a", TreeKind::Schema);
  EXPECT_EQ(rows("SQLite > nodb > ").size(), rows("SQLite > lite1 > ").size());
}

}  // namespace
