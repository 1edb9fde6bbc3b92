#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "dal/drivers.h"
#include "dal/scriptengine.h"
#include "meta_fixtures.h"
#include "testsupport.h"

using namespace qrv::dal;

namespace {

QString Q(const char *s) { return QString::fromUtf8(s); }

// ---------------------------------------------------------------------------------------------------
// Cutting scripts per dialect

struct SplitCase {
  const char *name;
  ScriptDialect dialect;
  const char *script;
  std::vector<const char *> statements;
};

void PrintTo(const SplitCase &c, std::ostream *os) { *os << c.name; }

class SplitScriptTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitScriptTest, Statements) {
  const SplitCase &c = GetParam();
  QStringList got;
  for (const ScriptStatement &st : SplitScript(Q(c.script), c.dialect)) got << st.sql;
  QStringList expected;
  for (const char *s : c.statements) expected << Q(s);
  EXPECT_EQ(got, expected) << c.script;
}

INSTANTIATE_TEST_SUITE_P(
    Dialects, SplitScriptTest,
    ::testing::Values(
        SplitCase{"GenericSemicolonsAndGoLines", ScriptDialect::Generic, "SELECT 1; SELECT 2\n go \nSELECT 3",
                  {"SELECT 1", "SELECT 2", "SELECT 3"}},
        SplitCase{"StringsQuotedNamesAndCommentsHoldNoCut", ScriptDialect::Generic,
                  "SELECT 'a;b', \"c;d\" -- e;f\nFROM t /* g; */; SELECT 'it''s;'",
                  {"SELECT 'a;b', \"c;d\" -- e;f\nFROM t /* g; */", "SELECT 'it''s;'"}},
        SplitCase{"CommentOnlyPiecesAreDropped", ScriptDialect::Generic, "-- head\nSELECT 1; -- tail\n/* end */;",
                  {"SELECT 1"}},
        SplitCase{"SqliteTriggerBodyKeepsItsSemicolons", ScriptDialect::SQLite,
                  "CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES (1); UPDATE c SET n = n + 1; END;"
                  " SELECT [a;b] FROM t;",
                  {"CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES (1); UPDATE c SET n = n + 1; END",
                   "SELECT [a;b] FROM t"}},
        SplitCase{"PgDollarQuotesEscapeStringsAndNestedComments", ScriptDialect::PostgreSQL,
                  "CREATE FUNCTION f() RETURNS int AS $body$ BEGIN RAISE NOTICE 'x;'; RETURN 1; END $body$ LANGUAGE "
                  "plpgsql; SELECT E'a\\';b' /* x /* y; */ z; */; SELECT $1, a$b",
                  {"CREATE FUNCTION f() RETURNS int AS $body$ BEGIN RAISE NOTICE 'x;'; RETURN 1; END $body$ LANGUAGE "
                   "plpgsql",
                   "SELECT E'a\\';b' /* x /* y; */ z; */", "SELECT $1, a$b"}},
        SplitCase{"MySqlDelimiterLines", ScriptDialect::MySQL,
                  "DELIMITER //\nCREATE PROCEDURE p() BEGIN SELECT 1; SELECT 2; END //\ndelimiter ;\nCALL p();",
                  {"CREATE PROCEDURE p() BEGIN SELECT 1; SELECT 2; END", "CALL p()"}},
        SplitCase{"MySqlDollarDelimiterAndEscapes", ScriptDialect::MySQL,
                  "DELIMITER $$\nCREATE PROCEDURE p() BEGIN SELECT 'a\\'$$;'; END$$\nDELIMITER ;\n"
                  "SELECT 1--1; # c; d\nSELECT `x;y`, \"q\\\";\" -- c;\n;",
                  {"CREATE PROCEDURE p() BEGIN SELECT 'a\\'$$;'; END", "SELECT 1--1",
                   "SELECT `x;y`, \"q\\\";\" -- c;"}},
        SplitCase{"MySqlExecutableCommentIsAStatement", ScriptDialect::MySQL, "/*!40101 SET NAMES utf8 */;",
                  {"/*!40101 SET NAMES utf8 */"}},
        SplitCase{"MssqlBatchesEndAtGoLinesOnly", ScriptDialect::MSSQL,
                  "CREATE PROCEDURE p AS BEGIN SELECT 1; SELECT [a\nGO]; END\nGO\nEXEC p;\r\ngo 2\r\nSELECT 'x\nGO\n'",
                  {"CREATE PROCEDURE p AS BEGIN SELECT 1; SELECT [a\nGO]; END", "EXEC p;", "SELECT 'x\nGO\n'"}},
        SplitCase{"FirebirdSetTerm", ScriptDialect::Firebird,
                  "SET TERM ^ ;\nCREATE PROCEDURE p RETURNS (x INT) AS BEGIN x = 1; SUSPEND; END^\nSET TERM ; ^\n"
                  "SELECT x FROM p;",
                  {"CREATE PROCEDURE p RETURNS (x INT) AS BEGIN x = 1; SUSPEND; END", "SELECT x FROM p"}},
        SplitCase{"OraclePlsqlBlocksEndAtSlashLines", ScriptDialect::Oracle,
                  "CREATE OR REPLACE PROCEDURE p IS BEGIN NULL; END;\n/\nSELECT 1 FROM dual;\nDECLARE n NUMBER; "
                  "BEGIN n := 1 / 2; END;\n  /  \nSELECT v$x FROM dual\n/\n",
                  {"CREATE OR REPLACE PROCEDURE p IS BEGIN NULL; END;", "SELECT 1 FROM dual",
                   "DECLARE n NUMBER; BEGIN n := 1 / 2; END;", "SELECT v$x FROM dual"}}));

TEST(SplitScript, StatementsKnowTheirLine) {
  const QList<ScriptStatement> st =
      SplitScript(Q("-- one\r\n\r\nSELECT 1;\r\n  /* c\r\n */ SELECT\r\n2;"), ScriptDialect::Generic);
  ASSERT_EQ(st.size(), 2);
  EXPECT_EQ(st[0].line, 3);
  EXPECT_EQ(st[1].line, 5);
  EXPECT_EQ(st[1].sql, Q("SELECT\r\n2"));
}

TEST(SplitScript, DialectOfDriver) {
  EXPECT_EQ(DialectOfDriver(Q("pg")), ScriptDialect::PostgreSQL);
  EXPECT_EQ(DialectOfDriver(Q("IB")), ScriptDialect::Firebird);
  EXPECT_EQ(DialectOfDriver(Q("MSSQL")), ScriptDialect::MSSQL);
  EXPECT_EQ(DialectOfDriver(Q("ODBC")), ScriptDialect::Generic);
}

// ---------------------------------------------------------------------------------------------------
// Running scripts

struct Line {
  ScriptOutputKind kind;
  QString text;
};

// Collects the engine's output.
struct Output {
  std::vector<Line> lines;
  ScriptEngine::OutputFn fn() {
    return [this](ScriptOutputKind k, const QString &t) { lines.push_back({k, t}); };
  }
  QStringList of(ScriptOutputKind k) const {
    QStringList l;
    for (const Line &x : lines)
      if (x.kind == k) l << x.text;
    return l;
  }
  int indexOf(ScriptOutputKind k, const QString &part) const {
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i].kind == k && lines[i].text.contains(part)) return int(i);
    return -1;
  }
  std::string dump() const {
    std::string s;
    for (const Line &x : lines) s += std::to_string(int(x.kind)) + ": " + x.text.toStdString() + "\n";
    return s;
  }
};

ConnectionPtr OpenServer(const char *driverId, const ConnParams &params, const char *what) {
  DbError err;
  return qrvtest::OpenOrFail(CreateDriverConnection(Q(driverId), &err), params, Q(what));
}

class SqliteEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ConnParams p;
    p.set(Q("Database"), Q(":memory:"));
    conn = OpenServer("SQLite", p, "SQLite in memory");
    ASSERT_TRUE(conn);
  }
  ScriptEngine::Result run(const char *script) {
    ScriptEngine engine(conn.get(), out.fn());
    return engine.run(Q(script));
  }
  ConnectionPtr conn;
  Output out;
};

TEST_F(SqliteEngineTest, EchoesRunsAndPrintsAReadableTable) {
  const auto res = run("CREATE TABLE t (id INTEGER, name TEXT); INSERT INTO t VALUES (1, 'ab'), (22, NULL);"
                       "SELECT id, name FROM t ORDER BY id;");
  EXPECT_EQ(res.statements, 3);
  EXPECT_EQ(res.errors, 0);
  EXPECT_EQ(out.of(ScriptOutputKind::Echo),
            (QStringList{Q("CREATE TABLE t (id INTEGER, name TEXT)"), Q("INSERT INTO t VALUES (1, 'ab'), (22, NULL)"),
                         Q("SELECT id, name FROM t ORDER BY id")}));
  EXPECT_EQ(out.of(ScriptOutputKind::Rows),
            (QStringList{Q("id | name"), Q("---+-------"), Q(" 1 | ab"), Q("22 | (null)")}));
  EXPECT_TRUE(out.of(ScriptOutputKind::Info).contains(Q("2 rows affected."))) << out.dump();
  EXPECT_TRUE(out.of(ScriptOutputKind::Info).contains(Q("2 rows selected."))) << out.dump();
}

TEST_F(SqliteEngineTest, RowsArePrintedInPagesOfAHundred) {
  run("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 250) SELECT n FROM c;");
  const QStringList rows = out.of(ScriptOutputKind::Rows);
  EXPECT_EQ(rows.count(Q("n")), 3) << "one header per page";
  EXPECT_TRUE(rows.contains(Q("250")));
  EXPECT_TRUE(out.of(ScriptOutputKind::Info).contains(Q("250 rows selected."))) << out.dump();
  // The header of the second page follows row 100.
  const int second = int(rows.indexOf(Q("n"), 1));
  ASSERT_GT(second, 0);
  EXPECT_EQ(rows.at(second - 2), Q("100"));
}

TEST_F(SqliteEngineTest, LargeValuesAreCutToThirtyBytes) {
  run("CREATE TABLE v (m TEXT, b BLOB);"
      "INSERT INTO v VALUES (printf('%.100c', 'x'), zeroblob(40));"
      "INSERT INTO v VALUES ('a' || replace(printf('%.20c', '_'), '_', 'é'), x'0A0B');"
      "INSERT INTO v VALUES ('short', NULL);"
      "SELECT m, b FROM v;");
  const QStringList rows = out.of(ScriptOutputKind::Rows);
  ASSERT_EQ(rows.size(), 5) << out.dump();
  const QString x30 = QString(30, u'x') + Q("...");
  const QString zeros = Q("0x") + QString(60, u'0') + Q("...");
  // 'a' and fourteen two-byte letters fill 29 bytes; the fifteenth would cross the limit.
  const QString accents = Q("a") + QString(14, QChar(0xE9)) + Q("...");
  EXPECT_TRUE(rows[2].startsWith(x30 + Q(" | ") + zeros)) << rows[2].toStdString();
  EXPECT_TRUE(rows[3].startsWith(accents + QString(33 - accents.size(), u' ') + Q(" | 0x0A0B")))
      << rows[3].toStdString();
  EXPECT_TRUE(rows[4].startsWith(Q("short"))) << rows[4].toStdString();
  EXPECT_TRUE(rows[4].endsWith(Q("(null)"))) << rows[4].toStdString();
}

TEST_F(SqliteEngineTest, EchoIsCutToTwoHundredCharacters) {
  const QString longSelect = Q("SELECT '") + QString(300, u'y') + Q("' AS v");
  ScriptEngine engine(conn.get(), out.fn());
  engine.run(longSelect);
  const QStringList echo = out.of(ScriptOutputKind::Echo);
  ASSERT_EQ(echo.size(), 1);
  EXPECT_EQ(echo[0].size(), 200);
  EXPECT_TRUE(echo[0].startsWith(Q("SELECT 'yyy")));
  EXPECT_TRUE(echo[0].endsWith(Q("...")));
}

TEST_F(SqliteEngineTest, ContinuesAfterAnErrorUnlessToldToStop) {
  const auto res = run("SELECT 1 AS a; SELECT * FROM missing_table; SELECT 2 AS b;");
  EXPECT_EQ(res.statements, 3);
  EXPECT_EQ(res.errors, 1);
  const int err = out.indexOf(ScriptOutputKind::Error, Q("no such table"));
  ASSERT_GE(err, 0) << out.dump();
  EXPECT_GT(out.indexOf(ScriptOutputKind::Echo, Q("SELECT 2")), err);
  EXPECT_TRUE(out.of(ScriptOutputKind::Rows).contains(Q("2")));

  out.lines.clear();
  ScriptEngine stopping(conn.get(), out.fn());
  ScriptEngine::Options o;
  o.stopOnError = true;
  stopping.setOptions(o);
  const auto res2 = stopping.run(Q("SELECT * FROM missing_table; SELECT 2 AS b;"));
  EXPECT_EQ(res2.errors, 1);
  EXPECT_EQ(out.indexOf(ScriptOutputKind::Echo, Q("SELECT 2")), -1) << out.dump();
}

TEST_F(SqliteEngineTest, TriggerBodyRunsAsOneStatement) {
  const auto res = run("CREATE TABLE t (a INT); CREATE TABLE log (a INT);\n"
                       "CREATE TRIGGER tr AFTER INSERT ON t BEGIN\n  INSERT INTO log VALUES (new.a);\n"
                       "  INSERT INTO log VALUES (new.a * 10);\nEND;\n"
                       "INSERT INTO t VALUES (4); SELECT sum(a) AS s FROM log;");
  EXPECT_EQ(res.errors, 0) << out.dump();
  EXPECT_TRUE(out.of(ScriptOutputKind::Rows).contains(Q("44"))) << out.dump();
}

TEST_F(SqliteEngineTest, StatementsOnAClosedConnectionFail) {
  conn->close();
  const auto res = run("SELECT 1; SELECT 2;");
  EXPECT_EQ(res.statements, 0);
  EXPECT_EQ(res.errors, 2);
  EXPECT_EQ(out.of(ScriptOutputKind::Error), (QStringList{Q("Error: Not connected"), Q("Error: Not connected")}));
}

TEST_F(SqliteEngineTest, AbortFromAnotherThreadStopsTheRunningStatement) {
  std::atomic<bool> started{false};
  std::atomic<bool> done{false};
  ScriptEngine engine(conn.get(), [&](ScriptOutputKind k, const QString &t) {
    if (k == ScriptOutputKind::Echo && t.contains(Q("RECURSIVE"))) started = true;
    out.lines.push_back({k, t});
  });
  std::thread stopper([&] {
    while (!started.load()) std::this_thread::yield();
    // The cancel only lands while a command runs, so keep asking until the run has ended.
    while (!done.load()) {
      engine.abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const auto res = engine.run(
      Q("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c) SELECT count(*) FROM c; SELECT 'after';"));
  done = true;
  stopper.join();
  EXPECT_TRUE(res.aborted);
  EXPECT_EQ(out.indexOf(ScriptOutputKind::Echo, Q("after")), -1) << out.dump();
}

// ---------------------------------------------------------------------------------------------------
// The servers' own ways of writing scripts

TEST(ScriptEngineServers, PostgresDollarBodyAndNotices) {
  ConnectionPtr c = OpenServer("PG", qrvtest::PgParams(), "PostgreSQL test server");
  ASSERT_TRUE(c);
  Output out;
  ScriptEngine engine(c.get(), out.fn());
  EXPECT_EQ(engine.dialect(), ScriptDialect::PostgreSQL);
  const auto res = engine.run(Q("CREATE OR REPLACE FUNCTION qrv_se_f(n int) RETURNS int AS $$\n"
                                "BEGIN\n  RAISE NOTICE 'half; of %', n / 2; -- a comment; with semicolons\n"
                                "  RETURN n * 2;\nEND;\n$$ LANGUAGE plpgsql;\n"
                                "SELECT qrv_se_f(21) AS v;\n"
                                "SELECT 1 / 0;\n"
                                "DROP FUNCTION qrv_se_f(int);"));
  EXPECT_EQ(res.statements, 4) << out.dump();
  EXPECT_EQ(res.errors, 1) << out.dump();
  EXPECT_GE(out.indexOf(ScriptOutputKind::Message, Q("half; of 10")), 0) << out.dump();
  EXPECT_TRUE(out.of(ScriptOutputKind::Rows).contains(Q("42"))) << out.dump();
  EXPECT_GE(out.indexOf(ScriptOutputKind::Error, Q("division by zero")), 0) << out.dump();
}

TEST(ScriptEngineServers, MySqlProcedureBetweenDelimiterLinesReturnsTwoResults) {
  ConnectionPtr c = OpenServer("MySQL", qrvtest::MyParams(), "MariaDB test server");
  ASSERT_TRUE(c);
  Output out;
  ScriptEngine engine(c.get(), out.fn());
  const auto res = engine.run(Q("DROP PROCEDURE IF EXISTS qrv_se_p;\n"
                                "DELIMITER //\n"
                                "CREATE PROCEDURE qrv_se_p()\nBEGIN\n  SELECT 1 AS a;\n  SELECT 'two' AS b, 3 AS c;\n"
                                "END //\n"
                                "DELIMITER ;\n"
                                "CALL qrv_se_p();\n"
                                "DROP PROCEDURE qrv_se_p;"));
  EXPECT_EQ(res.statements, 4) << out.dump();
  EXPECT_EQ(res.errors, 0) << out.dump();
  const QStringList rows = out.of(ScriptOutputKind::Rows);
  const qsizetype first = rows.indexOf(Q("a"));
  const qsizetype second = rows.indexOf(Q("b   | c"));
  ASSERT_GE(first, 0) << out.dump();
  ASSERT_GT(second, first) << out.dump();
  EXPECT_EQ(rows.at(second + 2), Q("two | 3"));
}

TEST(ScriptEngineServers, FirebirdProcedureBetweenSetTermLines) {
  ConnectionPtr c = OpenServer("FB", qrvtest::FirebirdParams(), "Firebird test server");
  ASSERT_TRUE(c);
  Output out;
  ScriptEngine engine(c.get(), out.fn());
  const auto res = engine.run(Q("SET TERM ^ ;\n"
                                "CREATE OR ALTER PROCEDURE QRV_SE_P (N INTEGER) RETURNS (R INTEGER) AS\n"
                                "BEGIN\n  R = N; SUSPEND;\n  R = N * 2; SUSPEND;\nEND^\n"
                                "SET TERM ; ^\n"
                                "SELECT R FROM QRV_SE_P(5);\n"
                                "DROP PROCEDURE QRV_SE_P;"));
  EXPECT_EQ(res.statements, 3) << out.dump();
  EXPECT_EQ(res.errors, 0) << out.dump();
  const QStringList rows = out.of(ScriptOutputKind::Rows);
  EXPECT_TRUE(rows.contains(Q(" 5")) || rows.contains(Q("5"))) << out.dump();
  EXPECT_TRUE(rows.contains(Q("10"))) << out.dump();
}


TEST(ScriptEngineServers, OdbcRunsGenericScripts) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const struct {
    const char *what;
    ConnParams params;
  } targets[] = {
      {"ODBC to an SQLite file", qrvtest::OdbcSqliteParams(dir.path() + Q("/odbc.db"))},
      {"ODBC to the PostgreSQL test server", qrvtest::OdbcPgParams()},
  };
  for (const auto &t : targets) {
    SCOPED_TRACE(t.what);
    ConnectionPtr c = OpenServer("ODBC", t.params, t.what);
    ASSERT_TRUE(c);
    Output out;
    ScriptEngine engine(c.get(), out.fn());
    EXPECT_EQ(engine.dialect(), ScriptDialect::Generic);
    const auto res = engine.run(Q("DROP TABLE IF EXISTS qrv_se_odbc;\n"
                                  "CREATE TABLE qrv_se_odbc (id INT, name VARCHAR(20));\n"
                                  "INSERT INTO qrv_se_odbc VALUES (1, 'a;b'), (2, 'c -- d');\n"
                                  "SELECT id, name FROM qrv_se_odbc ORDER BY id;\n"
                                  "GO\n"
                                  "SELECT * FROM qrv_se_missing;\n"
                                  "DROP TABLE qrv_se_odbc;"));
    EXPECT_EQ(res.statements, 6) << out.dump();
    EXPECT_EQ(res.errors, 1) << out.dump();
    QStringList rows = out.of(ScriptOutputKind::Rows);
    for (QString &r : rows) r = r.trimmed();  // the id column is right-aligned where the driver types it numeric
    EXPECT_EQ(rows.mid(2), (QStringList{Q("1 | a;b"), Q("2 | c -- d")})) << out.dump();
    EXPECT_TRUE(out.of(ScriptOutputKind::Info).contains(Q("2 rows affected."))) << out.dump();
  }
}

}  // namespace
