// The generic metadata walk against the test servers: Firebird, ODBC (to SQLite and PostgreSQL), and
// PostgreSQL and MariaDB with their catalog queries switched off by empty replacement files.
#include <gtest/gtest.h>

#include <iostream>

#include "dal/drivertable.h"
#include "metarefresh_fixture.h"
#include "tree/metarefresh.h"
#include "tree/treerefresh.h"

using namespace qrv;
using qrvtest::RequiredEnv;

namespace {

class ServerRefresh : public qrvtest::RefreshFixture {
 protected:
  void SetUp() override {
    RefreshFixture::SetUp();
    liteFile = dir + "odbc lite.db";
    fbDb = RequiredEnv("QRV_FB_DB");
    const QString pg = QStringLiteral("Server=%1\nPort=%2\nUser_Name=%3\nPassword=%4\n")
                           .arg(RequiredEnv("QRV_PG_HOST"), RequiredEnv("QRV_PG_PORT"), RequiredEnv("QRV_PG_USER"),
                                RequiredEnv("QRV_PG_PASSWORD"));
    const QString my = QStringLiteral("Server=%1\nPort=%2\nUser_Name=%3\nPassword=%4\n")
                           .arg(RequiredEnv("QRV_MY_HOST"), RequiredEnv("QRV_MY_PORT"), RequiredEnv("QRV_MY_USER"),
                                RequiredEnv("QRV_MY_PASSWORD"));
    const QString fb = QStringLiteral("Server=%1\nUser_Name=%2\nPassword=%3\nDatabase=%4\n")
                           .arg(RequiredEnv("QRV_FB_HOST"), RequiredEnv("QRV_FB_USER"), RequiredEnv("QRV_FB_PASSWORD"), fbDb);
    defineConnections(
        "[mr_fb]\nDriverID=FB\nPort=" + RequiredEnv("QRV_FB_PORT") + "\n" + fb +
        "[mr_fb_down]\nDriverID=FB\nPort=1\n" + fb +
        "[mr_pg]\nDriverID=PG\nDatabase=" + RequiredEnv("QRV_PG_DB") + "\n" + pg +
        "[mr_my]\nDriverID=MySQL\nDatabase=" + RequiredEnv("QRV_MY_DB") + "\n" + my +
        "[mr_odbc_pg]\nDriverID=ODBC\nODBCDriver=" + RequiredEnv("QRV_ODBC_PG_DRIVER") + "\nDatabase=" +
        RequiredEnv("QRV_PG_DB") + "\n" + pg +
        "[mr_lite]\nDriverID=SQLite\nDatabase=" + liteFile + "\n" +
        "[mr_odbc_lite]\nDriverID=ODBC\nODBCDriver=" + RequiredEnv("QRV_ODBC_SQLITE_DRIVER") + "\nDatabase=" + liteFile +
        "\n");
    // Empty replacement files switch the catalog queries of PostgreSQL and MySQL off.
    ASSERT_TRUE(WriteTextFileAtomic(dir + "dbpg.sql", QString()));
    ASSERT_TRUE(WriteTextFileAtomic(dir + "dbmysql.sql", QString()));
  }

  // Prints the rows below a prefix when the test has failed, to show what the walk wrote.
  void dumpOnFailure(const QString &prefix) {
    if (!HasFailure()) return;
    const auto all = rows(prefix);
    for (auto it = all.begin(); it != all.end(); ++it)
      std::cerr << it.key().toStdString() << " | " << it->type << " | " << it->info.toStdString() << "\n";
  }

  QString liteFile, fbDb;
};

TEST_F(ServerRefresh, Firebird) {
  serverExec("mr_fb", QString(),
             {"DROP VIEW MRF_VIEW", "DROP TABLE MRF_ITEMS", "DROP TABLE MRF_PARENT", "DROP TABLE \"MRF two words\"",
              "DROP PROCEDURE MRF_PROC", "DROP GENERATOR MRF_GEN"},
             true);
  serverExec("mr_fb", QString(),
             {"CREATE TABLE MRF_PARENT (ID INTEGER NOT NULL PRIMARY KEY, TITLE VARCHAR(100))",
              "CREATE TABLE MRF_ITEMS (ID INTEGER NOT NULL, PARENT_ID INTEGER REFERENCES MRF_PARENT(ID) ON DELETE "
              "CASCADE, PRICE NUMERIC(10,2), QTY NUMERIC(10), CONSTRAINT PK_MRF_ITEMS PRIMARY KEY (ID))",
              "CREATE INDEX MRF_IX_PRICE ON MRF_ITEMS(PRICE)",
              "CREATE TABLE \"MRF two words\" (A INTEGER)",
              "CREATE VIEW MRF_VIEW AS SELECT ID, TITLE FROM MRF_PARENT",
              "CREATE GENERATOR MRF_GEN",
              "CREATE PROCEDURE MRF_PROC (A INTEGER) RETURNS (B VARCHAR(10)) AS BEGIN B = 'x'; SUSPEND; END"});

  // The RDBMS level: the reachable connection is read, the unreachable one keeps only its row.
  const QString err = RefreshTreeItem(ctx, "Firebird");
  EXPECT_TRUE(err.startsWith("Could not establish connection \"mr_fb_down\":\r\n")) << err.toStdString();
  EXPECT_FALSE(err.contains("mr_fb\"")) << err.toStdString();
  EXPECT_TRUE(rows("Firebird").contains("Firebird > mr_fb_down"));
  EXPECT_EQ(rows("Firebird > mr_fb_down > ").size(), 0);

  const QString s = "Firebird > mr_fb > " + fbDb + " > NO_SCHEMA";
  expectRow("Firebird > mr_fb > " + fbDb, TreeKind::Database);
  expectRow(s, TreeKind::Schema);
  expectRow(s + " > Tables", TreeKind::Category, "*");
  expectRow(s + " > Tables > MRF two words", TreeKind::Table);
  expectRow(s + " > Tables > MRF two words > Columns", TreeKind::Category, " (1)");
  expectRow(s + " > Tables > MRF_PARENT > Columns > TITLE", TreeKind::Column, " (VARCHAR(100), null)");
  const QString items = s + " > Tables > MRF_ITEMS";
  expectRow(items + " > Columns", TreeKind::Category, " (4)");
  expectRow(items + " > Columns > ID", TreeKind::Column, " (INTEGER, not null)");
  expectRow(items + " > Columns > PRICE", TreeKind::Column, " (NUMERIC(10,2), null)");
  expectRow(items + " > Columns > QTY", TreeKind::Column, " (NUMERIC(10), null)");
  expectRow(items + " > Indexes > MRF_IX_PRICE", TreeKind::Column, " (NonUnique)");
  expectRow(items + " > Keys > PK_MRF_ITEMS (PrimaryKey)", TreeKind::Column, "");
  expectRow(s + " > Views > MRF_VIEW", TreeKind::Table);
  expectRow(s + " > Views > MRF_VIEW > Columns", TreeKind::Category, " (2)");
  expectRow(s + " > Procedures / Functions > MRF_PROC", TreeKind::Routine);
  expectRow(s + " > Procedures / Functions > MRF_PROC > Parameters > A", TreeKind::Column, "*");
  expectRow(s + " > Generators / Sequences > MRF_GEN", TreeKind::Sequence);
  const auto fk = rows(items + " > Keys > ");
  bool hasFk = false;
  for (auto it = fk.begin(); it != fk.end(); ++it)
    hasFk = hasFk || it->name.contains(" (MRF_PARENT, DEL: Cascade, UPD: ");
  EXPECT_TRUE(hasFk);

  // The table level: a table whose name has a space.
  serverExec("mr_fb", QString(), {"ALTER TABLE \"MRF two words\" ADD B VARCHAR(10)"});
  EXPECT_EQ(RefreshTreeItem(ctx, s + " > Tables > MRF two words"), QString());
  expectRow(s + " > Tables > MRF two words > Columns", TreeKind::Category, " (2)");
  expectRow(s + " > Tables > MRF two words > Columns > B", TreeKind::Column, " (VARCHAR(10), null)");
  // The procedure level reads the procedure again, not as a table.
  EXPECT_EQ(RefreshTreeItem(ctx, s + " > Procedures / Functions > MRF_PROC"), QString());
  expectRow(s + " > Procedures / Functions > MRF_PROC", TreeKind::Routine);
  EXPECT_FALSE(rows(s).contains(s + " > Procedures / Functions > MRF_PROC > Columns"));
  dumpOnFailure(s + " > Tables > MRF");
}

TEST_F(ServerRefresh, OdbcToSqlite) {
  serverExec("mr_lite", QString(),
             {"CREATE TABLE \"mro two words\" (id INTEGER PRIMARY KEY, title VARCHAR(100) NOT NULL, "
              "price DECIMAL(10,2))",
              "CREATE VIEW mro_view AS SELECT id FROM \"mro two words\""});
  const QString err = RefreshTreeItem(ctx, "ODBC > mr_odbc_lite");
  EXPECT_EQ(err, QString());
  const auto all = rows("ODBC > mr_odbc_lite > ");
  QString table;
  for (auto it = all.begin(); it != all.end(); ++it)
    if (it->level == 5 && it->name == "mro two words") table = it.key();
  ASSERT_FALSE(table.isEmpty());
  expectRow(table, TreeKind::Table);
  EXPECT_TRUE(table.contains(" > Tables > ")) << table.toStdString();
  expectRow(table + " > Columns", TreeKind::Category, " (3)");
  expectRow(table + " > Columns > title", TreeKind::Column, "*");
  EXPECT_TRUE(all[table + " > Columns > title"].info.contains("(100)")) << all[table + " > Columns > title"].info.toStdString();
  // (The SQLite ODBC driver reports no scale for DECIMAL.)
  EXPECT_TRUE(all[table + " > Columns > price"].info.startsWith(" (DECIMAL(10")) << all[table + " > Columns > price"].info.toStdString();
  const QString view = table.section(" > Tables > ", 0, 0) + " > Views > mro_view";
  expectRow(view, TreeKind::Table);
  dumpOnFailure("ODBC > mr_odbc_lite");
}

TEST_F(ServerRefresh, OdbcToPostgresSchema) {
  serverExec("mr_pg", QString(),
             {"DROP SCHEMA IF EXISTS mro_pg CASCADE", "CREATE SCHEMA mro_pg",
              "CREATE TABLE mro_pg.\"two words\" (id int PRIMARY KEY, title varchar(100) NOT NULL, price numeric(10,2))",
              "CREATE SEQUENCE mro_pg.mro_seq"});
  const QString db = "ODBC > mr_odbc_pg > " + RequiredEnv("QRV_PG_DB");
  const QString s = db + " > mro_pg";
  const QString err = RefreshTreeItem(ctx, s);
  EXPECT_EQ(err, QString());
  expectRow(s, TreeKind::Schema);
  expectRow(s + " > Tables", TreeKind::Category, " (1)");
  expectRow(s + " > Tables > two words > Columns", TreeKind::Category, " (3)");
  const auto all = rows(s);
  EXPECT_TRUE(all.value(s + " > Tables > two words > Columns > title").info.contains("(100)"));
  EXPECT_TRUE(all.value(s + " > Tables > two words > Columns > price").info.contains("(10,2)"));
  dumpOnFailure(s);
}

TEST_F(ServerRefresh, PostgresWithoutCatalogQuery) {
  serverExec("mr_pg", QString(),
             {"DROP SCHEMA IF EXISTS mrp_s CASCADE", "CREATE SCHEMA mrp_s",
              "CREATE TABLE mrp_s.mrp_parent (id int PRIMARY KEY, title varchar(100) NOT NULL)",
              "CREATE TABLE mrp_s.\"mrp two words\" (id int, parent_id int REFERENCES mrp_s.mrp_parent(id) ON DELETE "
              "CASCADE, price numeric(10,2), qty numeric(10), body text)",
              "CREATE INDEX mrp_ix ON mrp_s.\"mrp two words\"(price)",
              "CREATE VIEW mrp_s.mrp_view AS SELECT id FROM mrp_s.mrp_parent",
              "CREATE SEQUENCE mrp_s.mrp_seq",
              "CREATE FUNCTION mrp_s.mrp_fn(a integer) RETURNS integer LANGUAGE sql AS 'SELECT a'"});
  const QString db = "PostgreSQL > mr_pg > " + RequiredEnv("QRV_PG_DB");
  const QString s = db + " > mrp_s";
  // A table item of a catalog driver refreshes its whole database: here through the generic walk.
  store->AppendRecordToTree("stale", db + " > stale", false, TreeKind::Schema, 3, false, "");
  const QString err = RefreshTreeItem(ctx, s + " > Tables > mrp_parent");
  EXPECT_EQ(err, QString());
  EXPECT_FALSE(rows(db).contains(db + " > stale"));
  expectRow(db, TreeKind::Database);
  expectRow(s, TreeKind::Schema);
  expectRow(s + " > Tables", TreeKind::Category, " (2)");
  expectRow(s + " > Views > mrp_view", TreeKind::Table);
  const QString t = s + " > Tables > mrp two words";
  expectRow(t + " > Columns", TreeKind::Category, " (5)");
  const auto all = rows(s);
  EXPECT_TRUE(all.value(s + " > Tables > mrp_parent > Columns > title").info.contains("(100), not null)"));
  EXPECT_TRUE(all.value(t + " > Columns > price").info.contains("(10,2), null)"));
  EXPECT_TRUE(all.value(t + " > Columns > qty").info.contains("(10), null)"));
  expectRow(t + " > Indexes > mrp_ix", TreeKind::Column, " (NonUnique)");
  bool hasFk = false;
  const auto keys = rows(t + " > Keys > ");
  for (auto it = keys.begin(); it != keys.end(); ++it) hasFk = hasFk || it->name.contains("(mrp_parent, DEL: Cascade");
  EXPECT_TRUE(hasFk);
  expectRow(s + " > Procedures / Functions > mrp_fn", TreeKind::Routine);
  expectRow(s + " > Generators / Sequences > mrp_seq", TreeKind::Sequence);
  dumpOnFailure(s);
}

TEST_F(ServerRefresh, MariaDbWithoutCatalogQuery) {
  serverExec("mr_my", QString(),
             {"DROP DATABASE IF EXISTS `qrv mr db`", "CREATE DATABASE `qrv mr db`",
              "CREATE TABLE `qrv mr db`.mrm_parent (id int PRIMARY KEY, title varchar(100) NOT NULL)",
              "CREATE TABLE `qrv mr db`.`mrm two words` (id int, parent_id int, price decimal(10,2), body longtext, "
              "CONSTRAINT mrm_fk FOREIGN KEY (parent_id) REFERENCES `qrv mr db`.mrm_parent(id) ON DELETE CASCADE)",
              "CREATE VIEW `qrv mr db`.mrm_view AS SELECT id FROM `qrv mr db`.mrm_parent"});
  // A database whose name has a space stays one database; MySQL has no schemas below it.
  const QString db = "MySQL > mr_my > qrv mr db";
  const QString s = db + " > NO_SCHEMA";
  const QString err = RefreshTreeItem(ctx, db);
  EXPECT_EQ(err, QString());
  expectRow(db, TreeKind::Database);
  expectRow(s, TreeKind::Schema);
  expectRow(s + " > Tables", TreeKind::Category, " (2)");
  expectRow(s + " > Views", TreeKind::Category, " (1)");
  const QString t = s + " > Tables > mrm two words";
  expectRow(t + " > Columns", TreeKind::Category, " (4)");
  const auto all = rows(s);
  EXPECT_TRUE(all.value(s + " > Tables > mrm_parent > Columns > title").info.contains("(100), not null)"));
  EXPECT_TRUE(all.value(t + " > Columns > price").info.contains("(10,2), null)"));
  EXPECT_TRUE(all.value(t + " > Columns > body").info.contains("(MAX), null)")) << all.value(t + " > Columns > body").info.toStdString();
  expectRow(t + " > Keys > mrm_fk (mrm_parent, DEL: Cascade, UPD: Restrict)", TreeKind::Column, "");
  serverExec("mr_my", QString(), {"DROP DATABASE IF EXISTS `qrv mr db`"}, true);
  dumpOnFailure(s);
}

}  // namespace
