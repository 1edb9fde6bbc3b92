// Refresh of a database by its catalog query, against real PostgreSQL and MariaDB servers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <sqlite3.h>

#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "testsupport.h"
#include "tree/catalogrefresh.h"
#include "tree/treestore.h"
#include "util/textfile.h"

using namespace qrv;

namespace {

struct Row {
  QString name;
  int type;
  int level;
  QString info;
  int visible;
};

QString env(const char *k) {
  const QString v = qrvtest::ServerEnv(k);
  EXPECT_FALSE(v.isEmpty()) << k << " is not set: start the test servers (scripts/test-servers.sh start)";
  return v;
}

// A temporary settings directory with Connections.ini, a local database and a refresh context on them.
class CatalogRefreshTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = tmp.path() + "/";
    const QString ini = QString(
                            "[pgc]\nDriverID=PG\nServer=%1\nPort=%2\nDatabase=%3\nUser_Name=%4\nPassword=%5\n"
                            "[myc]\nDriverID=MySQL\nServer=%6\nPort=%7\nDatabase=%8\nUser_Name=%9\nPassword=%10\n")
                            .arg(env("QRV_PG_HOST"), env("QRV_PG_PORT"), env("QRV_PG_DB"), env("QRV_PG_USER"),
                                 env("QRV_PG_PASSWORD"), env("QRV_MY_HOST"), env("QRV_MY_PORT"), env("QRV_MY_DB"),
                                 env("QRV_MY_USER"))
                            .arg(env("QRV_MY_PASSWORD"));
    ASSERT_TRUE(WriteTextFileAtomic(dir + "Connections.ini", ini));
    manager.loadDriverDefs(dir + "Drivers.ini");
    manager.loadConnectionDefs(dir + "Connections.ini");
    ASSERT_EQ(sqlite3_open((dir + "qrv.db").toUtf8().constData(), &db), SQLITE_OK);
    store = std::make_unique<TreeStore>(db);
    ASSERT_EQ(store->ensureTables(), QString());
    ctx.manager = &manager;
    ctx.store = store.get();
    ctx.settingsDir = dir;
  }
  void TearDown() override {
    ctx.catalog.reset();
    store.reset();
    sqlite3_close(db);
  }

  // Runs statements on a server connection of the definition, on the given database.
  void serverExec(const QString &conn, const QString &database, const QString &sql) {
    dal::DbError err;
    dal::ConnectionPtr c = manager.openConnection(conn, database, &err);
    ASSERT_TRUE(c) << err.message.toStdString();
    ASSERT_TRUE(dal::ExecAll(*c, sql, &err)) << err.message.toStdString() << "\n" << sql.toStdString();
  }

  std::map<QString, Row> rows(const QString &prefix) {
    std::map<QString, Row> out;
    sqlite3_stmt *st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT Name, FullName, Type, Level, Info, Visible FROM Tree WHERE FullName LIKE ?1",
                                 -1, &st, nullptr),
              SQLITE_OK);
    const QByteArray p = (prefix + "%").toUtf8();
    sqlite3_bind_text(st, 1, p.constData(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      auto text = [&](int i) { return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i))); };
      out[text(1)] = Row{text(0), sqlite3_column_int(st, 2), sqlite3_column_int(st, 3), text(4), sqlite3_column_int(st, 5)};
    }
    sqlite3_finalize(st);
    return out;
  }

  QTemporaryDir tmp;
  QString dir;
  dal::ConnectionManager manager;
  sqlite3 *db = nullptr;
  std::unique_ptr<TreeStore> store;
  TreeRefreshContext ctx;
};

void expectRow(const std::map<QString, Row> &all, const QString &fullName, const Row &want) {
  auto it = all.find(fullName);
  ASSERT_NE(it, all.end()) << "missing: " << fullName.toStdString();
  EXPECT_EQ(it->second.name, want.name) << fullName.toStdString();
  EXPECT_EQ(it->second.type, want.type) << fullName.toStdString();
  EXPECT_EQ(it->second.level, want.level) << fullName.toStdString();
  EXPECT_EQ(it->second.info, want.info) << fullName.toStdString();
  EXPECT_EQ(it->second.visible, want.visible) << fullName.toStdString();
}

const char *kPgFixture = R"SQL(
create schema shop;
create schema empty_one;
create table shop."order lines"(id serial primary key, qty int not null check (qty > 0), note varchar(100), price numeric(10,2) default 0);
comment on table shop."order lines" is 'Lines of orders';
comment on column shop."order lines".note is 'free text';
create table shop.orders(id int primary key, code varchar(20) unique, line_id int references shop."order lines"(id));
create index ix_orders_code2 on shop.orders(code, id);
create view shop.v_orders as select id, code from shop.orders;
create sequence shop.seq1;
create function shop.add_it(a int, inout b int, out c int) as $$ begin c := a + b; end $$ language plpgsql;
create function shop.trg() returns trigger as $$ begin return new; end $$ language plpgsql;
create trigger t_ins before insert on shop.orders for each row execute function shop.trg();
create trigger t_v instead of insert on shop.v_orders for each row execute function shop.trg();
create extension if not exists postgres_fdw;
create server loopback_srv foreign data wrapper postgres_fdw options (dbname 'qrv_test');
create foreign table shop.remote_t(x int) server loopback_srv;
)SQL";

}  // namespace

TEST(CatalogStaging, AtMost500RowsAStatementAndNoEmptyStatement) {
  for (int n : {1, 499, 500, 501, 1000, 1001}) {
    QList<StagedRow> rows;
    for (int i = 0; i < n; ++i) rows.append({QString("it's %1").arg(i), QString("A > it's %1").arg(i), 4, QString()});
    const QStringList st = BuildStagingInserts(rows);
    EXPECT_EQ(st.size(), (n + 499) / 500) << n;
    for (const QString &s : st) {
      EXPECT_TRUE(s.startsWith("INSERT INTO tree_tmp (Name, FullName, Visible, Type, Expanded, Info) VALUES ("));
      EXPECT_TRUE(s.endsWith(")")) << "the last comma and line break are cut";
      EXPECT_TRUE(s.contains("('it''s 0', 'A > it''s 0', 0, 4, 0, '')") || !s.contains("it''s 0,")) << n;
    }
  }
  EXPECT_TRUE(BuildStagingInserts({}).isEmpty());
}

TEST(CatalogStaging, PlaceholdersAreFilledInOrderAndOtherPercentSignsStay) {
  EXPECT_EQ(FillPlaceholders("a '%s' b %s c LIKE 'x%' %s", {"P > ", " F "}), "a 'P > ' b  F  c LIKE 'x%' %s");
}

TEST(CatalogStaging, EveryCatalogDriverHasItsBuiltInQuery) {
  for (const char *id : {"MSSQL", "pg", "MySQL", "Ora"}) {
    const QString q = BuiltInCatalogQuery(id);
    EXPECT_TRUE(q.contains("FullName")) << id;
    EXPECT_TRUE(q.contains("' > Tables > '")) << id;
  }
  EXPECT_TRUE(BuiltInCatalogQuery("SQLite").isEmpty());
  EXPECT_FALSE(IsCatalogDriver("FB"));
  EXPECT_TRUE(IsCatalogDriver("mssql"));
}

TEST_F(CatalogRefreshTest, PostgreSQLDatabaseIsReadIntoTheTree) {
  serverExec("pgc", "", "DROP DATABASE IF EXISTS qrv_catalog_fx WITH (FORCE)");
  serverExec("pgc", "", "CREATE DATABASE qrv_catalog_fx");
  serverExec("pgc", "qrv_catalog_fx", kPgFixture);
  const QString parents = "PostgreSQL > pgc > ";
  ASSERT_EQ(FillTree_DB_Native(ctx, parents, "qrv_catalog_fx", true, true, false), QString());
  const auto all = rows(parents + "qrv_catalog_fx");
  const QString P = parents + "qrv_catalog_fx > ";
  expectRow(all, parents + "qrv_catalog_fx", {"qrv_catalog_fx", 2, 2, "", 1});
  expectRow(all, P + "shop", {"shop", 3, 3, "", 0});
  expectRow(all, P + "shop > Tables", {"Tables", -1, 4, " (2)", 0});
  expectRow(all, P + "shop > Tables > order lines", {"order lines", 4, 5, " (Lines of orders)", 0});
  expectRow(all, P + "shop > Tables > order lines > Columns", {"Columns", -1, 6, " (4)", 0});
  expectRow(all, P + "shop > Tables > order lines > Columns > note",
            {"note", 9, 7, "(character varying(100), null) free text", 0});
  expectRow(all, P + "shop > Tables > order lines > Columns > price", {"price", 9, 7, "(numeric(10.2), null, DEF: '0')", 0});
  expectRow(all, P + "shop > Tables > orders > Keys > orders_line_id_fkey", {"orders_line_id_fkey", 15, 7, " (FK, order lines.id)", 0});
  expectRow(all, P + "shop > Tables > orders > Keys > orders_pkey", {"orders_pkey", 15, 7, " (PK)", 0});
  expectRow(all, P + "shop > Tables > orders > Indexes > ix_orders_code2", {"ix_orders_code2", 10, 7, " (Non-Unique)", 0});
  expectRow(all, P + "shop > Tables > orders > Constraints > orders_code_key", {"orders_code_key", 17, 7, " (UNIQUE)", 0});
  expectRow(all, P + "shop > Tables > orders > Triggers > t_ins", {"t_ins", 18, 7, " (INSERT)", 0});
  expectRow(all, P + "shop > Views > v_orders > Triggers > t_v", {"t_v", 21, 7, " (INSERT)", 0});
  expectRow(all, P + "shop > Views > v_orders > Columns > code", {"code", 19, 7, "(character varying(20), null)", 0});
  expectRow(all, P + "shop > Sequences > seq1", {"seq1", 13, 5, "", 0});
  expectRow(all, P + "shop > Procedures / Functions > add_it > Parameters > OUT c", {"OUT c", 14, 7, "(integer)", 0});
  expectRow(all, P + "shop > Procedures / Functions > add_it > Parameters > b", {"b", 14, 7, "(integer)", 0});
  expectRow(all, P + "shop > External Table > remote_t", {"remote_t", 25, 5, "", 0});
  EXPECT_EQ(all.count(P + "empty_one"), 0u) << "a schema without objects does not appear";
  EXPECT_EQ(all.count(P + "pg_catalog"), 0u);
  for (const auto &[full, row] : all) EXPECT_EQ(row.level, TreeLevelOf(full)) << full.toStdString();

  // With system objects shown, pg_catalog is read too.
  ctx.showSystemObjects = true;
  ASSERT_EQ(FillTree_DB_Native(ctx, parents, "qrv_catalog_fx", true, true, false), QString());
  EXPECT_EQ(rows(P + "pg_catalog").count(P + "pg_catalog"), 1u);
}

TEST_F(CatalogRefreshTest, ReplacementFileIsUsedAndAFailingQueryKeepsTheOldSubtree) {
  const QString parents = "PostgreSQL > pgc > ";
  const QString db = env("QRV_PG_DB");
  const QString file = dir + "dbpg.sql";
  ASSERT_TRUE(WriteTextFileAtomic(
      file, "SELECT 'only' AS \"Name\", 3 AS \"Type\", '' AS \"Info\", '%s' || 'only' AS \"FullName\";"));
  ASSERT_EQ(FillTree_DB_Native(ctx, parents, db, true, true, false), QString());
  auto all = rows(parents + db);
  EXPECT_EQ(all.size(), 2u);
  expectRow(all, parents + db + " > only", {"only", 3, 3, "", 0});

  ASSERT_TRUE(WriteTextFileAtomic(file, "SELECT no_such_column FROM no_such_table_qrv;"));
  const QString err = FillTree_DB_Native(ctx, parents, db, true, true, false);
  EXPECT_TRUE(err.contains("no_such_table_qrv")) << err.toStdString();
  EXPECT_EQ(rows(parents + db).size(), 2u) << "the old subtree stays";
}

namespace {
int g_genericCalls = 0;
QString countingGenericRefresh(TreeRefreshContext &, const QString &, const QString &, bool, bool, bool) {
  ++g_genericCalls;
  return QString();
}
}  // namespace

TEST_F(CatalogRefreshTest, EmptyReplacementFileSwitchesToTheGenericRefresh) {
  ASSERT_TRUE(WriteTextFileAtomic(dir + "dbpg.sql", "  \r\n"));
  const GenericDbRefreshFn old = GenericDbRefresh;
  GenericDbRefresh = countingGenericRefresh;
  g_genericCalls = 0;
  EXPECT_EQ(FillTree_DB_Native(ctx, "PostgreSQL > pgc > ", env("QRV_PG_DB"), true, true, false), QString());
  GenericDbRefresh = old;
  EXPECT_EQ(g_genericCalls, 1);
}

TEST_F(CatalogRefreshTest, UnreachableServerChangesNothing) {
  ASSERT_TRUE(WriteTextFileAtomic(dir + "Connections.ini",
                                  "[gone]\nDriverID=PG\nServer=127.0.0.1\nPort=1\nDatabase=x\nUser_Name=a\nPassword=b\n"));
  manager.loadConnectionDefs(dir + "Connections.ini");
  store->AppendRecordToTree("x", "PostgreSQL > gone > x", true, 2, 2, false, "");
  const QString err = FillTree_DB_Native(ctx, "PostgreSQL > gone > ", "x", true, true, false);
  EXPECT_TRUE(err.startsWith("Could not establish connection \"gone\":")) << err.toStdString();
  EXPECT_EQ(rows("PostgreSQL > gone").size(), 1u);
}

TEST_F(CatalogRefreshTest, MySQLDatabaseAndItsSystemDatabases) {
  serverExec("myc", "", "DROP DATABASE IF EXISTS qrv_catalog_fx; CREATE DATABASE qrv_catalog_fx;");
  serverExec("myc", "qrv_catalog_fx",
             "create table `order lines`(id int auto_increment primary key, note varchar(100) comment 'free text') "
             "comment 'Lines';"
             "create table orders(id int primary key, line_id int, constraint fk_line foreign key (line_id) "
             "references `order lines`(id));"
             "create view v_orders as select id from orders;");
  const QString parents = "MySQL > myc > ";
  ASSERT_EQ(FillTree_DB_Native(ctx, parents, "qrv_catalog_fx", true, true, false), QString());
  const QString P = parents + "qrv_catalog_fx > NO_SCHEMA > ";
  const auto all = rows(parents + "qrv_catalog_fx");
  expectRow(all, parents + "qrv_catalog_fx > NO_SCHEMA", {"NO_SCHEMA", 3, 3, "", 0});
  expectRow(all, P + "Tables", {"Tables", -1, 4, " (2)", 0});
  expectRow(all, P + "Tables > order lines", {"order lines", 4, 5, " (Lines)", 0});
  expectRow(all, P + "Tables > order lines > Columns > note", {"note", 9, 7, "(varchar(100), null) free text", 0});
  expectRow(all, P + "Tables > orders > Keys > fk_line", {"fk_line", 15, 7, " (FK, order lines.id)", 0});
  expectRow(all, P + "Views > v_orders", {"v_orders", 5, 5, "", 0});

  // System databases: not read at all unless asked; information_schema is then read over "sys".
  EXPECT_EQ(FillTree_DB_Native(ctx, parents, "mysql", true, true, false), QString());
  EXPECT_TRUE(rows(parents + "mysql").empty());
  ctx.showSystemObjects = true;
  ASSERT_EQ(FillTree_DB_Native(ctx, parents, "information_schema", true, true, false), QString());
  EXPECT_EQ(ctx.catalogDbName, "sys");
  const auto is = rows(parents + "information_schema");
  EXPECT_EQ(is.count(parents + "information_schema > NO_SCHEMA > Views > TABLES"), 1u);
}
